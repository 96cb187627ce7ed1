// The main window's pure rules; see form_main_rules.h.
#include "app/forms/form_main_rules.h"

#include <algorithm>

#include "platform/sjis.h"

namespace velmor {

namespace {
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Offset of the first "%src" in any ASCII case, stepping by character; npos when absent.
size_t FindSrcToken(std::string_view s) {
    constexpr std::string_view kToken = "%src";
    for (size_t i = 0; i + kToken.size() <= s.size(); i += platform::SjisCharLength(s, i)) {
        bool match = true;
        for (size_t k = 0; k < kToken.size() && match; ++k) match = LowerAscii(s[i + k]) == kToken[k];
        if (match) return i;
    }
    return std::string_view::npos;
}
}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    TCommandLine cl;
    if (args.empty()) return cl;
    const std::string& first = args[0];
    size_t from = 1;
    if (first == "-o") {
        cl.Kind = TCommandLine::ckPreview;
        if (args.size() > 1) cl.Files.push_back(args[1]);
        return cl;
    }
    cl.Kind = TCommandLine::ckExtract;
    if (first == "-d") {
        cl.AfterMethod = 1;
    } else if (first == "-t") {
        cl.AfterMethod = 2;
    } else if (first == "-k") {
        cl.AfterMethod = 0;
    } else {
        from = 0;
    }
    cl.Files.assign(args.begin() + static_cast<std::ptrdiff_t>(from), args.end());
    return cl;
}

std::string FormatLogLine(std::string_view message, int& lineCount, std::string_view currentArchive) {
    ++lineCount;
    if (message == "***") return " ********************************************";
    std::string text;
    if (message == "---") {
        text = " ──────────────────────";
    } else {
        text.assign(message);
        size_t at = FindSrcToken(text);
        if (at != std::string::npos) text.replace(at, 4, "\"" + std::string(currentArchive) + "\"");
    }
    return " " + std::to_string(lineCount) + "| " + text;
}

bool LogFileOverLimit(uint64_t sizeBytes, int kbLimit) {
    uint64_t limit = static_cast<uint64_t>(kbLimit > 0 ? kbLimit : kDefaultKBDeleteLog);
    return sizeBytes / 1024 > limit;
}

bool PositionApplies(int x, int y, int screenWidth, int screenHeight) {
    return x > 0 && x < screenWidth && y > 0 && y < screenHeight;
}

bool SizeApplies(int width, int height) { return width > 0 && height > 0; }

int SplitHeight(int shared, int sharePerMille, int minimum) {
    if (shared <= 2 * minimum) return shared / 2;
    int list = static_cast<int>((static_cast<int64_t>(shared) * sharePerMille + 500) / 1000);
    return std::clamp(list, minimum, shared - minimum);
}

int ShareOfHeight(int listHeight, int shared) {
    if (shared <= 0) return kDefaultListShare;
    return std::clamp(static_cast<int>((static_cast<int64_t>(listHeight) * 1000 + shared / 2) / shared), 0,
                      1000);
}

std::string DropSizeText(bool isEntry, uint64_t size, bool isFolder) {
    if (isEntry) return std::to_string(size / 1024) + " KB";
    if (isFolder) return "\"フォルダ\"";
    return {};
}

void PushHistory(std::vector<std::string>& history, const std::string& folder) {
    if (history.empty()) return;
    for (const std::string& entry : history)
        if (entry == folder) return;
    for (size_t i = history.size() - 1; i > 0; --i) history[i] = history[i - 1];
    history[0] = folder;
}

}  // namespace velmor
