// Test helpers around the file system and the process environment: a temp folder deleted with everything in
// it, whole-file reading and writing, and environment variables set for the life of an object.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// A fresh folder under the system temp folder; deleted recursively when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring File(std::wstring_view name) const { return path_ + L"\\" + std::wstring(name); }
    // The same paths as CP932 text, as the archiver libraries take them.
    std::string SjisPath() const;
    std::string SjisFile(std::string_view name) const;

private:
    std::wstring path_;
};

void DeleteTree(const std::wstring& path);
bool FileExists(const std::wstring& path);
std::optional<std::string> ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, std::string_view data);
// Creates the folders of path's parent as needed, then the file.
bool WriteFileMakingFolders(const std::wstring& path, std::string_view data);

// Sets an environment variable of this process (as the stand-in libraries read it) and restores the old
// value.
class ScopedEnv {
public:
    ScopedEnv(const wchar_t* name, const std::wstring& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::wstring name_;
    std::optional<std::wstring> old_;
};

// Runs `code` with the host's Python (Wine starts Unix programs too); argv[1] is the Unix path of an output
// file, which the code must close before it ends, and whose content is returned. nullopt when Python could
// not be started or wrote nothing.
std::optional<std::string> RunHostPython(const TempDir& dir, std::string_view code,
                                         const std::vector<std::wstring>& args = {});
// The Unix path of a Windows path under Wine.
std::string UnixPath(const std::wstring& path);

// The folder of one stand-in scenario ("full", "noopt", "noreq", "zip-lmzip", ...) and of the fixtures.
std::wstring StandinFolder(std::wstring_view scenario);
std::wstring FixtureFile(std::wstring_view name);

}  // namespace testsupport
