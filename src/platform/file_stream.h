// A file as a byte stream over a Win32 file handle. The constructor throws EFileStreamError when the file
// cannot be opened; reads and writes report how much they moved.
#pragma once

#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/handle.h"

namespace platform {

class EFileStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum TFileMode : uint8_t { fmCreate, fmOpenRead, fmOpenWrite, fmOpenReadWrite, fmOpenAppend };

class TFileStream {
public:
    TFileStream(std::string_view fileName, TFileMode mode);
    size_t Read(void* buffer, size_t size);
    size_t Write(const void* buffer, size_t size);
    bool WriteText(std::string_view text) { return Write(text.data(), text.size()) == text.size(); }
    uint64_t Size() const;
    uint64_t Position() const;
    void Seek(int64_t offset, DWORD origin = FILE_BEGIN);
    bool Flush();
    HANDLE Handle() const noexcept { return file_.Get(); }

private:
    UniqueFile file_;
};

}  // namespace platform
