// Named (alternate) data streams of NTFS files. Archiver libraries only ever see ordinary files, so a file's
// named streams travel as extra files whose names hold the stream name in a file-name form (a.txt;extra;$DATA
// for a.txt:extra:$DATA with the default separator ";#"), and are written back as streams after extraction.
// Parsing and name mapping are pure; the system calls sit in the few functions that touch files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "archivers/archiver_options.h"

// Size of the fixed name field; a name must fit with its terminator.
constexpr size_t kStreamNameChars = 260;

// One enumeration of a file's streams; the caller owns it and closes it with FindCloseStream.
struct TStreamSearchRec {
    HANDLE Handle = INVALID_HANDLE_VALUE;
    LPVOID Context = nullptr;             // kept by the backup reader between calls
    wchar_t Name[kStreamNameChars] = {};  // e.g. ":extra:$DATA"; empty for the unnamed main data
    uint64_t Size = 0;
    DWORD Attributes = 0;  // the stream attributes word of the backup header
};

// Where ReadStreamHeader takes its bytes from: the backup reader of an open file, or a buffer in tests.
class TBackupSource {
public:
    virtual ~TBackupSource() = default;
    // Reads up to count bytes; false when the read fails.
    virtual bool Read(void* buffer, DWORD count, DWORD& got) = 0;
    // Skips count bytes of the current stream's data; false when fewer remain or the seek fails.
    virtual bool Skip(uint64_t count) = 0;
};

// True when the full path's volume keeps named streams.
bool VolumeHasNamedStreams(const std::string& path);

// Calling order: FindFirstStream, FindNextStream while true, FindCloseStream always. Skip empty names.
bool FindFirstStream(const std::string& fileName, TStreamSearchRec& rec);
bool FindNextStream(TStreamSearchRec& rec);
// Releases the backup reader's context and closes the file.
void FindCloseStream(TStreamSearchRec& rec);

// Reads the next backup header with its name into rec and skips the stream's data. False at the end, on a
// short or failed read, and for a name size that is odd or does not fit Name with its terminator.
bool ReadStreamHeader(TBackupSource& source, TStreamSearchRec& rec);

// A separator is two single-byte characters; any other text leaves names unmapped.
bool IsValidStreamSeparator(std::string_view separator);

// ":" becomes the separator's first character, a 0x05 right after a ":" its second; one unit out per unit in.
std::wstring StreamNameToFileName(std::wstring_view streamName, std::string_view separator);

// The reverse on Shift-JIS text, stepping by character.
std::string FileNameToStreamName(std::string_view fileName, std::string_view separator);

// What an extracted file in stream file-name form is written back to.
struct TStreamFileForm {
    std::string BaseFile;    // dir\a.txt
    std::string StreamPath;  // dir\a.txt:extra:$DATA
};

// The stream form of a file name: only its bare name is mapped, and only a bare name of the shape
// base;name;$DATA with a non-empty base and stream name counts. nullopt for every other name.
std::optional<TStreamFileForm> ParseStreamFileName(std::string_view fileName, std::string_view separator);

// Copies size bytes of source (a file or file:name:$DATA) into a new target with the three times. False,
// changing nothing, when the source cannot be opened or the target cannot be created (an existing target is
// never replaced, whatever `overwrite` says). A read, write or time failure raises EArchiverFileError with
// the system's text, after removing the partly written target.
bool CopyStreamFile(const std::string& source, const std::string& target, bool overwrite, DWORD attributes,
                    const FILETIME& writeTime, const FILETIME& accessTime, const FILETIME& creationTime,
                    uint64_t size);

// Exports every named stream of the file at storedName as an extra file storedName + mapped name, with the
// times of the file's directory entry, and calls added with each exported name that this call created.
void ExportNamedStreams(const std::string& path, const std::string& storedName,
                        const TArchiverOptions& options, const WIN32_FIND_DATAW& entry,
                        const std::function<void(const std::string&)>& added);

// The file-system steps of writing a stream file back, replaceable where the real ones cannot run (Wine's
// volumes keep no named streams).
struct TStreamWriteBack {
    std::function<bool(const std::string& path)> HasNamedStreams = VolumeHasNamedStreams;
    std::function<bool(const std::string& source, const std::string& target, bool overwrite, DWORD attributes,
                       const FILETIME& writeTime, const FILETIME& accessTime, const FILETIME& creationTime,
                       uint64_t size)>
        Copy = CopyStreamFile;
};

// Writes an extracted file in stream form back as the named stream of its base file, then deletes it. The
// file stays, and nothing changes, when the name has no stream form, the base file is missing, its volume
// keeps no named streams, the stream exists or the copy fails (false; a copy that raises raises on).
bool ImportStreamFile(const std::string& fileName, const TArchiverOptions& options,
                      const TStreamWriteBack& steps = {});
