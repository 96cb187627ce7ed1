// Library presence check, dangerous and escaping member paths, the top-level entry count and the leftover
// deletion.
#include "app/engine/unpack.h"

#include <algorithm>
#include <memory>

#include "app/engine/job_rules.h"
#include "app/ini_control.h"
#include "app/shell_util.h"
#include "archivers/archiver_dll.h"
#include "archivers/detect.h"
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

}  // namespace

bool LiesStrictlyInside(std::string_view path, std::string_view folder) {
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
    // The prefix must end at a character boundary of path too, and something must follow it.
    size_t j = 0;
    while (j < folder.size()) j += platform::SjisCharLength(path, j);
    return j == folder.size() && path.size() > folder.size();
}

std::string CheckDangerousPath(std::string_view path) {
    static const char* const kWords[] = {"スタートアップ", "ｽﾀｰﾄｱｯﾌﾟ", "startup", "system",
                                         "SYSTEM",         "windows",  "Windows", "WINDOWS"};
    for (const char* word : kWords)
        if (SjisSearch(path, word) != std::string_view::npos) return "DANGER";
    return "";
}

TUnPack::TUnPack(const TJobContext& context, std::vector<std::string> libraryFolders)
    : context_(context), folders_(std::move(libraryFolders)) {
    // An unresolved folder comes back as a lone backslash: nothing is recorded then.
    const std::string documents = GetSpecialFolder("mydocument");
    if (documents.size() > 1) WorkRecord = TWorkRecord(documents + "VelmorWork.txt");
    libraries_ = {
        {"LHA", "UNLHA32.DLL", "Unlha"}, {"ZIP", "UNZIP32.DLL", "UnZip"}, {"CAB", "cab32.DLL", "Cab"},
        {"RAR", "unrar32.DLL", "Unrar"}, {"ARJ", "", ""},                 {"TAR", "tar32.dll", "Tar"},
        {"GCA", "UnGCA32.DLL", "UnGCA"},
    };
}

TUnPack::~TUnPack() { UnloadArchiverDlls(); }

// The same folders, in the same order, as the archive component's own loading: a library the check calls
// ready is the one a job will use.
std::vector<std::string> TUnPack::DefaultLibraryFolders() {
    std::vector<std::string> folders;
    for (const std::wstring& folder : ArchiverLibraryFolders()) folders.push_back(platform::WideToSjis(folder));
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
    const bool opened = arc->OpenArchive(window, 0) == 0;
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
    Members.clear();
    WalkComplete = false;
    TFlaggedMembers escaping, dangerous;

    double memberTotal = 0;  // 64-bit sizes: the library's own total is 32-bit
    // The formats whose listing gives each member's CRC-32; what other libraries put there (a CRC-16, none)
    // is not compared.
    const TArchiverType type = DetectArchiverType(archive, true);
    const bool crc32Listed = type == atZip || type == atRar || type == at7z;
    auto info = std::make_unique<TArchiveMemberInfo>();
    int found = arc->FindFirst(mask, *info);
    try {
        while (found == 0) {
            const std::string raw(info->FileName, strnlen(info->FileName, sizeof(info->FileName)));
            if (raw.empty()) break;
            // "./a.txt" is a.txt: the step is no folder of its own.
            const std::string name(StripCurrentFolderSteps(raw));
            const bool folderEntry = name.empty() || EndsWithDelimiter(name);
            const bool escapes = EscapesOutputFolder(raw) || EscapesOutputFolder(name);
            Members.push_back({name, folderEntry, escapes, info->OriginalSize64});
            if (crc32Listed) Members.back().Crc = info->Crc;
            if (escapes) escaping.Add(raw);
            if (!folderEntry) {
                memberTotal += static_cast<double>(info->OriginalSize64);
                size_t cut = CutPosition(name);
                std::string folderPart = name.substr(0, cut);
                std::string filePart = name.substr(cut);
                if (!CheckDangerousPath(folderPart).empty()) dangerous.Add(raw);

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
            found = arc->FindNext(*info);
        }
        // -1 is the library's "no further member"; anything else broke the walk off, and an archive the
        // library would not open for listing showed no member at all.
        WalkComplete = opened && found == -1;
    } catch (...) {
        // A failure after the first member ends the walk; the count so far stands.
    }

    // One question per archive and kind, naming the first such member and how many more there are; the
    // answer holds for the whole archive.
    if (ini.AlertAbsExpand && escaping.Count) {
        std::string text = "\"" + state.CurrentArchive + "\r" + "\"には絶対パスによる展開が含まれています。" +
                           "\r" + escaping.Text() + "\r" + "続行しますか？";
        if (context_.Ui.Ask(text, "確認", MB_YESNO) != IDYES) {
            state.SkipItem = 1;
            context_.Ui.AppendLog("> [ 中断 ] 絶対パス展開抑制による中断");
        }
    }
    if (!state.SkipItem && ini.CheckDangerPath && dangerous.Count) {
        std::string text = "\"" + state.CurrentArchive + "\r" +
                           "内のファイルに(StartUp,System,スタートアップなど) のパス情報が含まれています。" +
                           "\r" + dangerous.Text() + "\r" + " 続行しますか？";
        if (context_.Ui.Ask(text, "確認", MB_YESNO) != IDYES) {
            state.SkipItem = 1;
            context_.Ui.AppendLog("> [ 中断 ] 危険パスによる中断");
        }
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
        if (!IsAbsolutePath(root) || !IsAbsolutePath(path) || !LiesStrictlyInside(path, root)) return;
        for (const std::string& part : PathSegments(std::string_view(path).substr(root.size())))
            if (part.empty() || part == "." || part == "..") return;

        if (context_.Shell.FileExists(path)) {
            context_.Shell.DeleteTree(path, FOF_SILENT | FOF_NOCONFIRMATION);
            context_.Ui.AppendLog("> [ 残骸の削除 ] \"" + path + "\"");
        }
    } catch (...) {
    }
}

}  // namespace velmor
