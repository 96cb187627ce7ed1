// File streams over CreateFileW.
#include "platform/file_stream.h"

#include "platform/sjis.h"

namespace platform {

TFileStream::TFileStream(std::string_view fileName, TFileMode mode) {
    DWORD access = 0, disposition = 0, share = FILE_SHARE_READ;
    switch (mode) {
        case fmCreate:
            access = GENERIC_READ | GENERIC_WRITE;
            disposition = CREATE_ALWAYS;
            break;
        case fmOpenRead:
            access = GENERIC_READ;
            disposition = OPEN_EXISTING;
            share |= FILE_SHARE_WRITE;
            break;
        case fmOpenWrite:
            access = GENERIC_WRITE;
            disposition = OPEN_EXISTING;
            break;
        case fmOpenReadWrite:
            access = GENERIC_READ | GENERIC_WRITE;
            disposition = OPEN_EXISTING;
            break;
        case fmOpenAppend:
            access = GENERIC_WRITE;
            disposition = OPEN_ALWAYS;
            break;
    }
    file_.Reset(::CreateFileW(SjisToWide(fileName).c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) throw EFileStreamError("Cannot open file " + std::string(fileName));
    if (mode == fmOpenAppend) Seek(0, FILE_END);
}

size_t TFileStream::Read(void* buffer, size_t size) {
    DWORD done = 0;
    if (!::ReadFile(file_.Get(), buffer, static_cast<DWORD>(size), &done, nullptr)) return 0;
    return done;
}

size_t TFileStream::Write(const void* buffer, size_t size) {
    DWORD done = 0;
    if (!::WriteFile(file_.Get(), buffer, static_cast<DWORD>(size), &done, nullptr)) return 0;
    return done;
}

uint64_t TFileStream::Size() const {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(file_.Get(), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

uint64_t TFileStream::Position() const {
    LARGE_INTEGER zero{}, pos{};
    return ::SetFilePointerEx(file_.Get(), zero, &pos, FILE_CURRENT) ? static_cast<uint64_t>(pos.QuadPart)
                                                                     : 0;
}

void TFileStream::Seek(int64_t offset, DWORD origin) {
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    ::SetFilePointerEx(file_.Get(), distance, nullptr, origin);
}

bool TFileStream::Flush() { return ::FlushFileBuffers(file_.Get()) != FALSE; }

}  // namespace platform
