// Library presence check, dangerous and escaping member paths, the top-level entry count and the leftover
// deletion.
#include "app/engine/unpack.h"

#include <algorithm>
#include <memory>

#include "app/engine/job_rules.h"
#include "app/ini_control.h"
#include "app/shell_util.h"
#include "archivers/job_state.h"
#include "platform/sjis.h"

namespace velmor {

namespace {

// Offset of needle in hay at a character boundary (a needle never starts on a trail byte); npos when absent.
size_t SjisSearch(std::string_view hay, std::string_view needle) {
    if (needle.empty()) return 0;
    for (size_t i = 0; i + needle.size() <= hay.size(); i += platform::SjisCharLength(hay, i))
        if (hay.compare(i, needle.size(), needle) == 0) return i;
    return std::string_view::npos;
}

bool IsDelimiter(char c) { return c == '\\' || c == '/'; }

// The path's components split at "\" and "/" by character.
std::vector<std::string> SplitComponents(std::string_view path) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < path.size();) {
        size_t n = platform::SjisCharLength(path, i);
        if (n == 1 && IsDelimiter(path[i]))
            parts.emplace_back();
        else
            parts.back().append(path.substr(i, n));
        i += n;
    }
    return parts;
}

// Position after the last "/" or "\" (by character), 0 when there is none.
size_t CutPosition(std::string_view name) {
    size_t cut = 0;
    for (size_t i = 0; i < name.size(); i += platform::SjisCharLength(name, i))
        if (platform::SjisCharLength(name, i) == 1 && IsDelimiter(name[i])) cut = i + 1;
    return cut;
}

bool EndsWithDelimiter(std::string_view name) {
    return platform::SjisEndsWithChar(name, '\\') || platform::SjisEndsWithChar(name, '/');
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Case-insensitive (ASCII letters only, by character) prefix test.
bool StartsWithFolder(std::string_view path, std::string_view folder) {
    if (path.size() < folder.size()) return false;
    for (size_t i = 0; i < folder.size();) {
        size_t n = platform::SjisCharLength(folder, i);
        if (n == 2) {
            if (path.compare(i, 2, folder.substr(i, 2)) != 0) return false;
        } else if (AsciiLower(path[i]) != AsciiLower(folder[i])) {
            return false;
        }
        i += n;
    }
    // The prefix must end at a character boundary of path too.
    size_t j = 0;
    while (j < folder.size()) j += platform::SjisCharLength(path, j);
    return j == folder.size();
}

// "X:\..." or "\\server\...".
bool IsAbsolute(std::string_view path) {
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
        return true;
    return path.size() >= 3 && path[0] == '\\' && path[1] == '\\';
}

std::string FolderOf(const std::wstring& file) {
    size_t slash = file.find_last_of(L"\\/");
    return platform::WideToSjis(slash == std::wstring::npos ? std::wstring() : file.substr(0, slash));
}

}  // namespace

std::string CheckDangerousPath(std::string_view path) {
    static const char* const kWords[] = {"スタートアップ", "ｽﾀｰﾄｱｯﾌﾟ", "startup", "system",
                                         "SYSTEM",         "windows",  "Windows", "WINDOWS"};
    for (const char* word : kWords)
        if (SjisSearch(path, word) != std::string_view::npos) return "DANGER";
    return "";
}

bool EscapesOutputFolder(std::string_view memberName) {
    if (memberName.empty()) return false;
    if (SjisSearch(memberName, ":") != std::string_view::npos) return true;  // "C:\x", "C:x"
    if (IsDelimiter(memberName[0])) return true;                             // "\x", "/x"
    for (const std::string& part : SplitComponents(memberName))
        if (part == "..") return true;
    return false;
}

TUnPack::TUnPack(const TJobContext& context, std::vector<std::string> libraryFolders)
    : context_(context), folders_(std::move(libraryFolders)) {
    libraries_ = {
        {"LHA", "UNLHA32.DLL", "Unlha"}, {"ZIP", "UNZIP32.DLL", "UnZip"}, {"CAB", "cab32.DLL", "Cab"},
        {"RAR", "unrar32.DLL", "Unrar"}, {"ARJ", "", ""},                 {"TAR", "tar32.dll", "Tar"},
        {"GCA", "UnGCA32.DLL", "UnGCA"},
    };
}

TUnPack::~TUnPack() { UnloadArchiverDlls(); }

std::vector<std::string> TUnPack::DefaultLibraryFolders() {
    std::vector<std::string> folders;
    wchar_t buffer[MAX_PATH * 2];
    DWORD n = ::GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    if (n > 0 && n < std::size(buffer)) folders.push_back(FolderOf(std::wstring(buffer, n)));
    UINT m = ::GetSystemDirectoryW(buffer, static_cast<UINT>(std::size(buffer)));
    if (m > 0 && m < std::size(buffer)) folders.push_back(platform::WideToSjis(std::wstring(buffer, m)));
    return folders;
}

bool TUnPack::LoadArchiverDll(const std::string& kind) {
    for (TArchiverLibrary& lib : libraries_) {
        if (lib.Kind != kind) continue;
        if (lib.DllName.empty()) return false;
        if (!lib.Module) {
            // Full paths only: a library planted in the current folder must never load.
            for (const std::string& folder : folders_) {
                std::wstring path = platform::SjisToWide(WithTrailingBackslash(folder) + lib.DllName);
                lib.Module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
                if (lib.Module) break;
            }
            if (!lib.Module) return false;
        }
        lib.Entry = ::GetProcAddress(lib.Module, lib.EntryName.c_str());
        lib.Ready = lib.Entry != nullptr;
        return lib.Ready != 0;
    }
    return false;
}

void TUnPack::UnloadArchiverDlls() {
    for (const char* kind : {"LHA", "ZIP", "CAB", "RAR"}) {
        for (TArchiverLibrary& lib : libraries_) {
            if (lib.Kind != kind || !lib.Module) continue;
            ::FreeLibrary(lib.Module);
            lib.Module = nullptr;
            lib.Entry = nullptr;
        }
    }
}

int TUnPack::CountTopLevelEntries(HWND window, const std::string& archive) {
    TJobState& state = context_.State;
    TIniControl& ini = context_.Ini;
    std::unique_ptr<IJobArchive> arc = context_.Archives();
    arc->SetFileName(archive);
    arc->OpenArchive(window, 0);
    struct Closer {
        IJobArchive& a;
        ~Closer() {
            try {
                a.CloseArchive();
            } catch (...) {
            }
        }
    } closer{*arc};

    const std::string mask = ini.SpecialExt ? ini.FileSpec : std::string("*.*");
    int count = 0;
    std::string lastRoot = "<>";
    std::string prevFirst;
    std::string lastName;

    double memberTotal = 0;  // 64-bit sizes: the library's own total is 32-bit
    auto info = std::make_unique<TArchiveMemberInfo>();
    bool more = arc->FindFirst(mask, *info) == 0;
    try {
        while (more) {
            std::string name(info->FileName, strnlen(info->FileName, sizeof(info->FileName)));
            if (name.empty()) break;
            if (!EndsWithDelimiter(name)) {
                memberTotal += static_cast<double>(info->OriginalSize64);
                size_t cut = CutPosition(name);
                std::string folderPart = name.substr(0, cut);
                std::string filePart = name.substr(cut);

                // A member that would land outside the output folder is asked about like an absolute path.
                if (ini.AlertAbsExpand && EscapesOutputFolder(name)) {
                    std::string text = "\"" + state.CurrentArchive + "\r" + "\"には絶対パスによる展開が含まれています。" +
                                       "\r" + "\"" + name + "\"" + "\r" + "続行しますか？";
                    if (context_.Ui.Ask(text, "確認", MB_YESNO) != IDYES) {
                        state.SkipItem = 1;
                        context_.Ui.AppendLog("> [ 中断 ] 絶対パス展開抑制による中断");
                        break;
                    }
                }
                if (ini.CheckDangerPath && !CheckDangerousPath(folderPart).empty()) {
                    std::string text = "\"" + state.CurrentArchive + "\r" +
                                       "内のファイルに(StartUp,System,スタートアップなど) のパス情報が含まれています。" +
                                       "\r" + "\"" + name + "\"" + "\r" + " 続行しますか？";
                    if (context_.Ui.Ask(text, "確認", MB_YESNO) != IDYES) {
                        state.SkipItem = 1;
                        context_.Ui.AppendLog("> [ 中断 ] 危険パスによる中断");
                        break;
                    }
                }

                if (ini.IgnoreDirectory) {
                    ++count;
                } else if (folderPart.empty()) {
                    ++count;
                    lastName = filePart;
                    if (SjisSearch(filePart, ".") != std::string_view::npos) lastRoot = filePart;
                } else {
                    if (folderPart == lastRoot + "\\") {
                        --count;
                        lastRoot = "<>";
                    }
                    size_t end = platform::SjisFind(folderPart, '/');
                    if (end == std::string::npos) end = platform::SjisFind(folderPart, '\\');
                    std::string first = folderPart.substr(0, end);
                    if (first != prevFirst) ++count;
                    prevFirst = first;
                    lastName = first;
                }
            }
            more = arc->FindNext(*info) == 0;
        }
    } catch (...) {
        // A failure after the first member ends the walk; the count so far stands.
    }

    state.ArchiveOriginalSize = std::max(memberTotal, static_cast<double>(arc->GetArcOriginalSize()));
    if (count == 1) state.TopLevelItem = ini.IgnoreDirectory ? std::string() : lastName;
    return count;
}

void TUnPack::RecordCreatedFolder(const std::string& path) {
    std::string key = AsciiLower(path);
    if (platform::SjisEndsWithChar(key, '\\')) key.pop_back();
    if (!CreatedFolder(key)) createdFolders_.push_back(key);
}

bool TUnPack::CreatedFolder(const std::string& path) const {
    std::string key = AsciiLower(path);
    if (platform::SjisEndsWithChar(key, '\\')) key.pop_back();
    return std::find(createdFolders_.begin(), createdFolders_.end(), key) != createdFolders_.end();
}

void TUnPack::DeleteLeftover() {
    TJobState& state = context_.State;
    try {
        if (state.TopLevelItem.empty() || state.TopLevelPreExisted) return;
        if (platform::SjisEndsWithChar(state.TopLevelItem, '\\')) state.TopLevelItem.pop_back();
        const std::string& path = state.TopLevelItem;

        // Only an absolute path strictly inside the output folder, never the folder itself or a root.
        std::string root = NormalizeFolderPath(LeftoverRoot);
        if (!IsAbsolute(root) || !IsAbsolute(path) || !StartsWithFolder(path, root) || path.size() <= root.size())
            return;
        for (const std::string& part : SplitComponents(std::string_view(path).substr(root.size())))
            if (part.empty() || part == "." || part == "..") return;

        if (context_.Shell.FileExists(path)) {
            context_.Shell.DeleteTree(path, FOF_SILENT | FOF_NOCONFIRMATION);
            context_.Ui.AppendLog("> [ 残骸の削除 ] \"" + path + "\"");
        }
    } catch (...) {
    }
}

}  // namespace velmor
