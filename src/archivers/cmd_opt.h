// Builds one command text for an archiver library's command entry: switches, quoted values, folders, file
// names and response-file arguments.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/string_list.h"

// One item of a file list. Items of kinds the builder does not take (int) and empty texts are skipped.
using TFileItem = std::variant<std::monostate, std::string, const char*, std::wstring, const platform::TStringList*,
                               const char* const*, int>;
using TFileItems = std::vector<TFileItem>;

// The non-empty texts of the items, in order.
platform::TStringList ItemsToStringList(const TFileItems& items);

class TCmdOpt {
public:
    using TFileNameTransform = std::function<void(const std::string& source, std::string& dest)>;

    // The tar builder quotes a text switch's value apart from the switch.
    bool QuoteApart = false;
    TFileNameTransform FileNameTransform;
    std::string Text;

    void Add(std::string_view item);
    void AddNumber(std::string_view name, int value);
    void AddFlag(std::string_view name, bool flag);
    void AddString(std::string_view name, const std::string& value);
    void AddFolder(std::string_view name, const std::string& folder);
    void AddFileName(std::string_view name, const std::string& fileName);
    std::string TransformFileName(const std::string& source) const;
    int AddFiles(std::string_view name, const TFileItems& items);
    // Writes the response file (one quoted name per line, CR LF) and appends the quoted "@path" argument.
    // Throws EArchiverFileError when the file cannot be written.
    int AddResponseFile(const TFileItems& items, const std::string& path);
};
