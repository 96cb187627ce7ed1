// Command text builder. Quotes inside values are not escaped: the libraries take none.
#include "archivers/cmd_opt.h"

#include <windows.h>

#include "archivers/archiver_error.h"
#include "archivers/archiver_options.h"
#include "platform/handle.h"
#include "platform/sjis.h"

platform::TStringList ItemsToStringList(const TFileItems& items) {
    platform::TStringList list;
    auto take = [&list](std::string s) {
        if (!s.empty()) list.Add(std::move(s));
    };
    for (const auto& item : items) {
        std::visit(
            [&](const auto& v) {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, std::string>) {
                    take(v);
                } else if constexpr (std::is_same_v<T, const char*>) {
                    if (v) take(v);
                } else if constexpr (std::is_same_v<T, std::wstring>) {
                    take(platform::WideToSjis(v));
                } else if constexpr (std::is_same_v<T, const platform::TStringList*>) {
                    if (v)
                        for (const auto& line : *v) take(line);
                } else if constexpr (std::is_same_v<T, const char* const*>) {
                    if (v)
                        for (const char* const* p = v; *p; ++p) take(*p);
                }
            },
            item);
    }
    return list;
}

void TCmdOpt::Add(std::string_view item) {
    Text += ' ';
    Text += item;
}

void TCmdOpt::AddNumber(std::string_view name, int value) {
    if (value < 0) return;
    Text += " -";
    Text += name;
    Text += std::to_string(value);
}

void TCmdOpt::AddFlag(std::string_view name, bool flag) {
    if (!flag) return;
    Text += " -";
    Text += name;
}

void TCmdOpt::AddString(std::string_view name, const std::string& value) {
    if (IsUnset(value)) return;
    if (name.empty()) {
        Text += " \"" + value + "\"";
        return;
    }
    std::string sw = name[0] == ' ' ? std::string(name.substr(1)) : "-" + std::string(name);
    if (QuoteApart)
        Text += " " + sw + " \"" + value + "\"";
    else
        Text += " \"" + sw + value + "\"";
}

void TCmdOpt::AddFolder(std::string_view name, const std::string& folder) {
    if (folder.empty() || IsUnset(folder)) return;
    // A two-byte character whose trail byte is 0x5C is not a separator.
    AddString(name, platform::SjisEndsWithChar(folder, '\\') ? folder : folder + "\\");
}

void TCmdOpt::AddFileName(std::string_view name, const std::string& fileName) {
    AddString(name, TransformFileName(fileName));
}

std::string TCmdOpt::TransformFileName(const std::string& source) const {
    if (!FileNameTransform) return source;
    std::string dest;
    FileNameTransform(source, dest);
    return dest;
}

int TCmdOpt::AddFiles(std::string_view name, const TFileItems& items) {
    platform::TStringList list = ItemsToStringList(items);
    for (const auto& f : list) AddFileName(name, f);
    return static_cast<int>(list.Count());
}

int TCmdOpt::AddResponseFile(const TFileItems& items, const std::string& path) {
    platform::TStringList list = ItemsToStringList(items);
    std::string content;
    for (const auto& f : list) content += "\"" + TransformFileName(f) + "\"\r\n";
    platform::UniqueFile file(::CreateFileW(platform::SjisToWide(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw EArchiverFileError("ファイル " + path + " を作成できません。");
    DWORD written = 0;
    if (!content.empty() &&
        (!::WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) ||
         written != content.size()))
        throw EArchiverFileError("ファイル " + path + " に書き込めません。");
    AddString("", "@" + path);
    return static_cast<int>(list.Count());
}
