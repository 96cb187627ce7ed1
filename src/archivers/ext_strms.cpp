// Named streams: enumeration over the backup reader, the two name mappings and the stream copy. Paths are
// Shift-JIS and go to the W calls through code page 932.
#include "archivers/ext_strms.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "archivers/archiver_error.h"
#include "archivers/path_util.h"
#include "platform/handle.h"
#include "platform/sjis.h"

using platform::SjisToWide;
using platform::WideToSjis;

namespace {

constexpr DWORD kHeaderSize = 20;  // WIN32_STREAM_ID up to its name
constexpr DWORD kCopyChunk = 1 << 20;
constexpr wchar_t kPropertySetMark = 0x05;

// The backup reader of the record's open file.
class TBackupReadSource : public TBackupSource {
public:
    explicit TBackupReadSource(TStreamSearchRec& rec) : rec_(rec) {}
    bool Read(void* buffer, DWORD count, DWORD& got) override {
        return ::BackupRead(rec_.Handle, static_cast<LPBYTE>(buffer), count, &got, FALSE, FALSE,
                            &rec_.Context) != FALSE;
    }
    bool Skip(uint64_t count) override {
        if (count == 0) return true;
        DWORD low = 0, high = 0;
        return ::BackupSeek(rec_.Handle, static_cast<DWORD>(count), static_cast<DWORD>(count >> 32), &low,
                            &high, &rec_.Context) != FALSE;
    }

private:
    TStreamSearchRec& rec_;
};

bool ReadExactly(TBackupSource& source, void* buffer, DWORD count) {
    if (count == 0) return true;
    DWORD got = 0;
    return source.Read(buffer, count, got) && got == count;
}

[[noreturn]] void RaiseSystemError(DWORD code) {
    wchar_t* text = nullptr;
    ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring message = text ? text : L"";
    if (text) ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
        message.pop_back();
    if (message.empty()) throw EArchiverFileError("システムエラー " + std::to_string(code));
    throw EArchiverFileError(WideToSjis(message));
}

// Stream type names are ASCII and compare without case.
bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
    auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return upper(x) == upper(y); });
}

// Offset where the bare name starts: after the last "\" or "/", or after a drive's ":".
size_t BareNameStart(std::string_view path) {
    size_t start = (path.size() >= 2 && path[1] == ':') ? 2 : 0;
    for (char sep : {'\\', '/'}) {
        size_t p = platform::SjisFindLast(path, sep);
        if (p != std::string_view::npos) start = std::max(start, p + 1);
    }
    return start;
}

}  // namespace

bool VolumeHasNamedStreams(const std::string& path) {
    std::wstring full = SjisToWide(ExpandFileName(path));
    std::wstring root;
    if (full.size() >= 2 && full[1] == L':') {
        root = full.substr(0, 2);
    } else if (full.rfind(L"\\\\", 0) == 0) {
        // \\server\share
        size_t server = full.find(L'\\', 2);
        size_t share = server == std::wstring::npos ? server : full.find(L'\\', server + 1);
        root = full.substr(0, share);
    } else {
        return false;
    }
    root += L'\\';
    DWORD flags = 0;
    if (!::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
        return false;
    return (flags & FILE_NAMED_STREAMS) != 0;
}

bool FindFirstStream(const std::string& fileName, TStreamSearchRec& rec) {
    rec = TStreamSearchRec{};
    if (!VolumeHasNamedStreams(fileName)) return false;
    rec.Handle = ::CreateFileW(SjisToWide(fileName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (rec.Handle == INVALID_HANDLE_VALUE) return false;
    TBackupReadSource source(rec);
    return ReadStreamHeader(source, rec);
}

bool FindNextStream(TStreamSearchRec& rec) {
    if (rec.Handle == INVALID_HANDLE_VALUE) return false;
    TBackupReadSource source(rec);
    return ReadStreamHeader(source, rec);
}

void FindCloseStream(TStreamSearchRec& rec) {
    if (rec.Handle == INVALID_HANDLE_VALUE) return;
    if (rec.Context) {
        DWORD got = 0;
        ::BackupRead(rec.Handle, nullptr, 0, &got, TRUE, FALSE, &rec.Context);
        rec.Context = nullptr;
    }
    ::CloseHandle(rec.Handle);
    rec.Handle = INVALID_HANDLE_VALUE;
}

bool ReadStreamHeader(TBackupSource& source, TStreamSearchRec& rec) {
    std::memset(rec.Name, 0, sizeof rec.Name);
    unsigned char header[kHeaderSize];
    if (!ReadExactly(source, header, kHeaderSize)) return false;
    uint32_t attributes, nameSize;
    uint64_t size;
    std::memcpy(&attributes, header + 4, 4);
    std::memcpy(&size, header + 8, 8);
    std::memcpy(&nameSize, header + 16, 4);
    // UTF-16 comes in whole code units, and the terminator needs its own slot
    if (nameSize % 2 != 0 || nameSize > (kStreamNameChars - 1) * sizeof(wchar_t)) return false;
    if (!ReadExactly(source, rec.Name, nameSize)) return false;
    rec.Size = size;
    rec.Attributes = attributes;
    return source.Skip(size);
}

bool IsValidStreamSeparator(std::string_view separator) {
    if (separator.size() != 2) return false;
    for (char c : separator)
        if (c == '\0' || platform::IsSjisLeadByte(static_cast<unsigned char>(c))) return false;
    return true;
}

std::wstring StreamNameToFileName(std::wstring_view streamName, std::string_view separator) {
    streamName = streamName.substr(0, std::min(streamName.find(L'\0'), streamName.size()));
    std::wstring wideSeparator = IsValidStreamSeparator(separator) ? SjisToWide(separator) : L"";
    if (wideSeparator.size() != 2) return std::wstring(streamName);
    std::wstring out;
    out.reserve(streamName.size());
    for (size_t i = 0; i < streamName.size(); ++i) {
        if (streamName[i] != L':') {
            out += streamName[i];
            continue;
        }
        out += wideSeparator[0];
        if (i + 1 < streamName.size() && streamName[i + 1] == kPropertySetMark) {
            out += wideSeparator[1];
            ++i;
        }
    }
    return out;
}

std::string FileNameToStreamName(std::string_view fileName, std::string_view separator) {
    std::string out(fileName);
    if (!IsValidStreamSeparator(separator)) return out;
    for (size_t i = 0; i < fileName.size();) {
        size_t len = platform::SjisCharLength(fileName, i);
        if (len == 1 && fileName[i] == separator[0]) {
            out[i] = ':';
            // the second character is single-byte, so an equal byte here is a character of its own
            if (i + 1 < fileName.size() && fileName[i + 1] == separator[1]) {
                out[i + 1] = static_cast<char>(kPropertySetMark);
                ++len;
            }
        }
        i += len;
    }
    return out;
}

std::optional<TStreamFileForm> ParseStreamFileName(std::string_view fileName, std::string_view separator) {
    if (!IsValidStreamSeparator(separator)) return std::nullopt;
    const size_t bare = BareNameStart(fileName);
    const size_t mark = platform::SjisFind(fileName, separator[0], bare);
    if (mark == std::string_view::npos || mark == bare) return std::nullopt;
    std::string stream = FileNameToStreamName(fileName.substr(mark), separator);
    constexpr std::string_view kType = ":$DATA";
    if (stream.size() <= 1 + kType.size() ||
        !EqualsAsciiNoCase(std::string_view(stream).substr(stream.size() - kType.size()), kType))
        return std::nullopt;
    std::string_view name = std::string_view(stream).substr(1, stream.size() - 1 - kType.size());
    if (platform::SjisFind(name, ':') != std::string_view::npos) return std::nullopt;
    TStreamFileForm form;
    form.BaseFile = std::string(fileName.substr(0, mark));
    form.StreamPath = form.BaseFile + stream;
    return form;
}

bool CopyStreamFile(const std::string& source, const std::string& target, bool /*overwrite*/,
                    DWORD attributes, const FILETIME& writeTime, const FILETIME& accessTime,
                    const FILETIME& creationTime, uint64_t size) {
    platform::UniqueFile in(::CreateFileW(SjisToWide(source).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    if (!in) return false;
    const std::wstring targetW = SjisToWide(target);
    platform::UniqueFile out(
        ::CreateFileW(targetW.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr));
    if (!out) return false;
    // a half-written target is ours to remove; the caller only ever sees a complete one
    platform::ScopeExit removePartial([&] {
        out.Reset();
        ::DeleteFileW(targetW.c_str());
    });
    std::vector<unsigned char> buffer(static_cast<size_t>(std::min<uint64_t>(size, kCopyChunk)));
    for (uint64_t left = size; left > 0;) {
        const DWORD want = static_cast<DWORD>(std::min<uint64_t>(left, kCopyChunk));
        DWORD got = 0;
        if (!::ReadFile(in.Get(), buffer.data(), want, &got, nullptr)) RaiseSystemError(::GetLastError());
        if (got != want) RaiseSystemError(ERROR_HANDLE_EOF);
        DWORD written = 0;
        if (!::WriteFile(out.Get(), buffer.data(), got, &written, nullptr))
            RaiseSystemError(::GetLastError());
        if (written != got) RaiseSystemError(ERROR_WRITE_FAULT);
        left -= got;
    }
    if (!::SetFileTime(out.Get(), &creationTime, &accessTime, &writeTime)) RaiseSystemError(::GetLastError());
    removePartial.Dismiss();
    return true;
}

void ExportNamedStreams(const std::string& path, const std::string& storedName,
                        const TArchiverOptions& options, const WIN32_FIND_DATAW& entry,
                        const std::function<void(const std::string&)>& added) {
    const std::string& separator = options.StreamSeparator;
    if (!IsValidStreamSeparator(separator)) return;
    TStreamSearchRec rec;
    platform::ScopeExit close([&] { FindCloseStream(rec); });
    for (bool found = FindFirstStream(path, rec); found; found = FindNextStream(rec)) {
        if (rec.Name[0] == L'\0') continue;
        bool lossy = false;
        const std::string streamName = WideToSjis(rec.Name, &lossy);
        if (lossy) continue;  // no Shift-JIS file name can carry it
        const std::string exported = storedName + WideToSjis(StreamNameToFileName(rec.Name, separator));
        // stream attribute bits are no file attributes; the export is a plain temporary file
        if (CopyStreamFile(storedName + streamName, exported, options.c > 0, FILE_ATTRIBUTE_NORMAL,
                           entry.ftLastWriteTime, entry.ftLastAccessTime, entry.ftCreationTime, rec.Size))
            added(exported);
    }
}

bool ImportStreamFile(const std::string& fileName, const TArchiverOptions& options,
                      const TStreamWriteBack& steps) {
    const auto form = ParseStreamFileName(fileName, options.StreamSeparator);
    // elsewhere a "name:stream" path may come out as an ordinary file of some other name
    if (!form || !FileExistsSjis(form->BaseFile) || !steps.HasNamedStreams(form->BaseFile)) return false;
    const std::wstring fileW = SjisToWide(fileName);
    WIN32_FIND_DATAW entry;
    {
        platform::UniqueFind find(::FindFirstFileW(fileW.c_str(), &entry));
        if (!find) return false;
    }
    const uint64_t size = (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    // the extracted file is the only copy of the stream until the copy has succeeded
    if (!steps.Copy(fileName, form->StreamPath, options.c > 0, entry.dwFileAttributes, entry.ftLastWriteTime,
                    entry.ftLastAccessTime, entry.ftCreationTime, size))
        return false;
    ::DeleteFileW(fileW.c_str());
    return true;
}
