// Profile ("ini") files. TIniFile works one key per call: nothing is cached and every write reaches the file
// at once. TMemIniFile reads the file once and writes it once. Either way a write goes to a new file beside
// the old one, which then replaces it: a failed write leaves the old file whole. The file is Shift-JIS (code
// page 932) whatever the machine's ANSI code page; section and key names compare without regard to ASCII
// case. A write that fails raises EIniFileException.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class EIniFileException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The operations the settings code reads and writes through; tests substitute their own store.
class TCustomIniFile {
public:
    virtual ~TCustomIniFile() = default;
    virtual std::string ReadString(std::string_view section, std::string_view key, std::string_view def) = 0;
    virtual void WriteString(std::string_view section, std::string_view key, std::string_view value) = 0;
    // Decimal, or hexadecimal after "0x"/"0X"; missing, empty or not a number gives the default.
    int ReadInteger(std::string_view section, std::string_view key, int def);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    // An integer that is not 0; written "1" or "0".
    bool ReadBool(std::string_view section, std::string_view key, bool def);
    void WriteBool(std::string_view section, std::string_view key, bool value);
};

// Parses an integer as ReadInteger does; false when the text is not a number that fits in 32 bits.
bool ParseIniInteger(std::string_view text, int& value);

class TIniFile : public TCustomIniFile {
public:
    // Values are read through a buffer of this many bytes (so at most one less is read).
    static constexpr size_t kReadBufferBytes = 2048;

    explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}
    const std::string& FileName() const noexcept { return fileName_; }
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) override;
    void WriteString(std::string_view section, std::string_view key, std::string_view value) override;

private:
    std::string fileName_;
};

// The whole file in memory: reads and writes change nothing on disk until UpdateFile, which writes every
// line in one go (raising EIniFileException, with the file as it was, when that fails).
class TMemIniFile : public TCustomIniFile {
public:
    explicit TMemIniFile(std::string fileName);
    const std::string& FileName() const noexcept { return fileName_; }
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) override;
    void WriteString(std::string_view section, std::string_view key, std::string_view value) override;
    void UpdateFile();

private:
    std::string fileName_;
    std::vector<std::string> lines_;
};

// Replaces the file's content with `data`: written to a new file in the same folder, which then takes the
// file's place. False, with the old file untouched, when it cannot be written or replaced (a read-only file
// is not replaced).
bool ReplaceFileContents(const std::string& fileName, std::string_view data);

}  // namespace platform
