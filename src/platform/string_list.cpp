// String list used where the program keeps lines of text: switch lists, file lists, histories.
#include "platform/string_list.h"

#include <algorithm>

#include "platform/sjis.h"

namespace platform {

namespace {
unsigned char FoldAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }
}  // namespace

int CompareTextSjis(std::string_view a, std::string_view b) noexcept {
    size_t i = 0;
    while (i < a.size() && i < b.size()) {
        size_t len = SjisCharLength(a, i);
        for (size_t k = 0; k < len && i + k < b.size(); ++k) {
            unsigned char ca = static_cast<unsigned char>(a[i + k]), cb = static_cast<unsigned char>(b[i + k]);
            if (len == 1) ca = FoldAscii(ca), cb = FoldAscii(cb);
            if (ca != cb) return ca < cb ? -1 : 1;
        }
        i += len;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

void TStringList::SetSorted(bool sorted) {
    sorted_ = sorted;
    if (sorted_)
        std::stable_sort(items_.begin(), items_.end(),
                         [](const std::string& x, const std::string& y) { return CompareTextSjis(x, y) < 0; });
}

size_t TStringList::Add(std::string s) {
    if (refuseDuplicates_) {
        ptrdiff_t found = IndexOf(s);
        if (found >= 0) return static_cast<size_t>(found);
    }
    if (!sorted_) {
        items_.push_back(std::move(s));
        return items_.size() - 1;
    }
    auto it = std::upper_bound(items_.begin(), items_.end(), s, [](const std::string& x, const std::string& y) {
        return CompareTextSjis(x, y) < 0;
    });
    size_t index = static_cast<size_t>(it - items_.begin());
    items_.insert(it, std::move(s));
    return index;
}

void TStringList::Insert(size_t index, std::string s) {
    if (sorted_) {
        Add(std::move(s));
        return;
    }
    if (refuseDuplicates_ && IndexOf(s) >= 0) return;
    items_.insert(items_.begin() + static_cast<ptrdiff_t>(std::min(index, items_.size())), std::move(s));
}

void TStringList::Delete(size_t index) {
    if (index < items_.size()) items_.erase(items_.begin() + static_cast<ptrdiff_t>(index));
}

ptrdiff_t TStringList::IndexOf(std::string_view s) const noexcept {
    for (size_t i = 0; i < items_.size(); ++i)
        if (CompareTextSjis(items_[i], s) == 0) return static_cast<ptrdiff_t>(i);
    return -1;
}

std::string TStringList::Text() const {
    std::string out;
    for (const auto& line : items_) {
        out += line;
        out += "\r\n";
    }
    return out;
}

void TStringList::SetText(std::string_view text) {
    items_.clear();
    size_t i = 0;
    while (i < text.size()) {
        size_t j = i;
        while (j < text.size() && text[j] != '\r' && text[j] != '\n') ++j;
        items_.emplace_back(text.substr(i, j - i));
        if (j < text.size() && text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n') ++j;
        i = j + 1;
    }
    SetSorted(sorted_);
}

}  // namespace platform
