// The preparation step (main thread): log the archive, refuse what cannot be handled, choose the output
// folder, find split volumes, count the top-level entries and create or reuse the bind folder. Also the
// folder renames the completion step reuses.
#include <algorithm>
#include <memory>

#include "app/engine/unpack_thread.h"
#include "app/ini_control.h"
#include "app/shell_util.h"
#include "archivers/job_state.h"
#include "archivers/path_util.h"
#include "platform/sjis.h"
#include "regexp/awk_str.h"

namespace velmor {

namespace {

bool Matches(regexp::TAWKStr& matcher, const std::string& text) {
    int32_t pos = 0;
    int32_t len = 0;
    matcher.Match(text, pos, len);
    return pos > 0;
}

}  // namespace

void TUnPackThread::PrepareItem() {
    TJobState& st = context_.State;
    TIniControl& ini = context_.Ini;
    IJobUi& ui = context_.Ui;
    IShellOps& shell = context_.Shell;
    const bool compress = st.CompressMode != 0;

    ArchivePath = ui.RowText(RowIndex);
    ArchiveExt.clear();  // a folder row has none; never the previous row's
    st.CurrentArchive = ArchivePath;
    ui.SelectRow(RowIndex);
    ui.AppendLog(" ");
    ui.AppendLog(">>>> [ %src ]  --");

    if (shell.FolderExists(ArchivePath)) {
        if (!compress) {
            st.SkipItem = 1;
            return;
        }
    } else if (!shell.FileExists(ArchivePath)) {
        ui.AppendLog("> [ 前段階エラー]： ファイルが存在しません");
        st.SkipItem = 1;
        return;
    } else {
        ArchiveExt = LowerExt(ArchivePath);
        if (!compress && !CheckAbleExt(ArchiveExt)) {
            st.SkipItem = 1;
            ui.AppendLog("> [ 前段階エラー ]： 扱えない形式の拡張子");
            return;
        }
    }

    switch (ini.PutLocation) {
        case 0: st.OutputFolder = WithTrailingBackslash(ExtractFileDir(ArchivePath)); break;
        case 1: st.OutputFolder = NormalizeFolderPath(ini.SpecialFolder); break;
        case 2:
        case 3:
        case 4: st.OutputFolder = NormalizeFolderPath(ini.Favorite[ini.PutLocation - 2]); break;
        case 5: st.OutputFolder = GetSpecialFolder("mydocument"); break;
        case 6: st.OutputFolder = GetSpecialFolder("desktop"); break;
        // A value no dialog writes (a hand-edited settings file) means beside the archive, never "" (the root).
        default: st.OutputFolder = WithTrailingBackslash(ExtractFileDir(ArchivePath)); break;
    }
    unpack_.LeftoverRoot = st.OutputFolder;
    // A folder relative to the current one would put the files wherever the program happens to run.
    if (!compress && !IsAbsolutePath(st.OutputFolder)) {
        ui.AppendLog("> [ 前段階エラー ]： 解凍先フォルダが完全なパスではありません \"" + st.OutputFolder +
                     "\"");
        st.SkipItem = 1;
        return;
    }

    if (ini.CheckDiv && ArchiveExt == ".rar") {
        std::string base;
        switch (ClassifyRarVolume(ExtractBareName(ArchivePath), &base)) {
            case TRarVolume::LaterPart:
                st.SplitArchive = 0;
                ui.AppendLog("> [非先頭分割ファイル]：先頭以外の分割ファイルは無視されます。");
                st.SkipItem = 1;
                return;
            case TRarVolume::FirstPart:
                CollectVolumes(base, true);
                break;
            case TRarVolume::None:
                CollectVolumes(ChangeFileExt(ExtractBareName(ArchivePath), ""), false);
                break;
        }
        // A set is split only when it has volumes besides this archive.
        if (SplitParts.size() > 1) {
            st.SplitArchive = 1;
            ui.AppendLog("> [ 分割圧縮ファイル検出 ]： ");
            ui.AppendLog("> ************************** ");
            for (const std::string& part : SplitParts) ui.AppendLog("> " + part);
            ui.AppendLog("> ************************** ");
        } else {
            SplitParts.clear();
        }
    }

    if (compress) return;

    try {
        TopLevelCount = unpack_.CountTopLevelEntries(ui.MainWindow(), ArchivePath);
    } catch (...) {
        ui.AppendLog("> [ エラー ] ファイル数の取得に失敗しました。書庫でない可能性があります。");
        st.SkipItem = 1;
        return;
    }
    if (st.SkipItem) return;

    if (TopLevelCount == 1 && !st.TopLevelItem.empty()) {
        st.TopLevelItem = st.OutputFolder + st.TopLevelItem;
        st.TopLevelPreExisted = shell.FileExists(st.TopLevelItem);
    }
    ui.AppendLog("> [ 最上位要素カウント ]\t" + std::to_string(TopLevelCount) + "コ");

    const bool bindWanted =
        TopLevelCount >= ini.BindNum && (ini.BindFolder || (ini.IgnoreDirectory && ini.IgnoredSingleBind));
    const std::string name = bindWanted
                                 ? CutTail(ChangeFileExt(ExtractBareName(ArchivePath), ""), ini.DelFolderNum)
                                 : std::string();
    const bool bind = bindWanted && UsableBindName(name);
    // Every member is checked against the folder it will land in before any folder is made or moved.
    if (!GuardMembers(bind ? st.OutputFolder + name + "\\" : st.OutputFolder)) return;
    if (bind) MakeBindFolder(name);
    if (!st.SkipItem) ChooseOverwrite();
}

void TUnPackThread::MakeBindFolder(const std::string& name) {
    TJobState& st = context_.State;
    IJobUi& ui = context_.Ui;
    IShellOps& shell = context_.Shell;
    const std::string bindPath = st.OutputFolder + name;
    st.TopLevelItem = bindPath;
    if (shell.FileExists(bindPath)) st.TopLevelPreExisted = 1;
    const std::string bindError = "> [ バインドエラー ] まとめフォルダを作成できませんでした。\"" + bindPath + "\"";

    // The output folder keeps its trailing delimiter, as every other choice of it does.
    if (!shell.FolderExists(bindPath)) {
        if (shell.CreateFolder(bindPath)) {
            st.OutputFolder = bindPath + "\\";
            st.BindFolderCreated = 1;
            ui.AppendLog("> [ バインド起動 ] まとめフォルダ新規作成 \"" + name + "\"");
        } else {
            ui.AppendLog(bindError);
            st.SkipItem = 1;
        }
        return;
    }
    st.BindFolderExisted = 1;
    ui.AppendLog("> [ 同名のまとめフォルダが存在 ]");
    if (context_.Ini.SameFolderProc != 1) {
        st.RenamedOldFolder = RenameToOld(bindPath);
        if (!st.RenamedOldFolder.empty()) {
            if (shell.CreateFolder(bindPath)) {
                st.BindFolderCreated = 1;
                ui.AppendLog("> [ バインド起動 ]\tまとめフォルダ新規作成 \"" + name + "\"");
            } else {
                ui.AppendLog(bindError);
                st.SkipItem = 1;
            }
        }
    }
    st.OutputFolder = bindPath + "\\";
}

void TUnPackThread::CollectVolumes(const std::string& base, bool partSet) {
    SplitParts.clear();
    std::vector<std::string> files;
    FindMatchingFiles(ExtractFileDir(ArchivePath), files, "", false, "*.*");
    std::vector<std::pair<long long, std::string>> numbered;
    for (const std::string& file : files) {
        const std::string name = ExtractBareName(file);
        long long n = partSet ? PartVolumeNumber(base, name) : NumberedVolumeNumber(base, name);
        if (n >= 0) numbered.emplace_back(n, file);
    }
    // The set starts with this archive (a ".rNN" set with its ".rar"), followed by the unbroken run of
    // the numbers after it: a file past a gap is some other download's.
    std::vector<std::string> run = ContiguousVolumeRun(std::move(numbered), partSet ? 2 : 0);
    if (run.empty()) return;
    SplitParts.push_back(ArchivePath);
    for (std::string& v : run) SplitParts.push_back(std::move(v));
}

std::string TUnPackThread::RenameToOld(const std::string& path) {
    int n = 1;
    std::string candidate = path + "_old" + std::to_string(n);
    while (context_.Shell.FolderExists(candidate)) candidate = path + "_old" + std::to_string(++n);
    return RenameFolder(path, candidate) ? candidate : std::string();
}

bool TUnPackThread::RenameFolder(const std::string& from, const std::string& to) {
    bool ok = false;
    try {
        ok = context_.Shell.Rename(from, to, FOF_SILENT | FOF_NOCONFIRMATION) == 0;
    } catch (...) {
        ok = false;
    }
    if (ok)
        context_.Ui.AppendLog("> [ リネーム成功 ] \"" + from + "\"->\"" + to + "\"");
    else
        context_.Ui.AppendLog("> [ リネーム失敗 ]\"" + from + "\"->\"" + to + "\"");
    return ok;
}

int TUnPackThread::FindMatchingFiles(const std::string& folder, std::vector<std::string>& list,
                                     const std::string& pattern, bool useRegex, const std::string& mask) {
    const std::string path = WithTrailingBackslash(folder);
    HANDLE find = INVALID_HANDLE_VALUE;
    try {
        regexp::TAWKStr matcher;
        matcher.SetRegExp(pattern);
        WIN32_FIND_DATAW data;
        find = ::FindFirstFileW(platform::SjisToWide(path + mask).c_str(), &data);
        int count = 0;
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (data.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY) continue;
                ++count;
                std::string name = platform::WideToSjis(data.cFileName);
                if (!useRegex || Matches(matcher, name)) list.push_back(path + name);
            } while (::FindNextFileW(find, &data));
            ::FindClose(find);
        }
        return count;
    } catch (...) {
        if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
        return -1;
    }
}

}  // namespace velmor
