// An ordered list of Shift-JIS strings, optionally sorted and without duplicates (compared without regard
// to ASCII case, as the program's file names are).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Compares two CP932 strings, folding ASCII letters only; double-byte characters compare by bytes.
int CompareTextSjis(std::string_view a, std::string_view b) noexcept;

class TStringList {
public:
    TStringList() = default;

    bool Sorted() const noexcept { return sorted_; }
    void SetSorted(bool sorted);
    // With duplicates refused, Add of a present string returns its index and adds nothing.
    bool RefuseDuplicates() const noexcept { return refuseDuplicates_; }
    void SetRefuseDuplicates(bool refuse) noexcept { refuseDuplicates_ = refuse; }

    size_t Count() const noexcept { return items_.size(); }
    bool Empty() const noexcept { return items_.empty(); }
    const std::string& operator[](size_t i) const { return items_.at(i); }
    std::string& operator[](size_t i) { return items_.at(i); }
    const std::vector<std::string>& Items() const noexcept { return items_; }

    size_t Add(std::string s);
    void Insert(size_t index, std::string s);
    void Delete(size_t index);
    void Clear() noexcept { items_.clear(); }
    // Index of s (compared as CompareTextSjis), or -1.
    ptrdiff_t IndexOf(std::string_view s) const noexcept;

    // The lines joined, each ending in CR LF; SetText splits at CR LF, LF or CR.
    std::string Text() const;
    void SetText(std::string_view text);

    auto begin() const noexcept { return items_.begin(); }
    auto end() const noexcept { return items_.end(); }

private:
    std::vector<std::string> items_;
    bool sorted_ = false;
    bool refuseDuplicates_ = false;
};

}  // namespace platform
