// The completion step (main thread): the result line, the row's removal, the after-extraction action on the
// archive or its volumes (only after a verified extraction, and each act checked on disk afterwards), the
// version-number trim of a single top folder, and the leftover of a failure.
#include <memory>

#include "app/engine/member_guard.h"
#include "app/engine/unpack_thread.h"
#include "app/ini_control.h"
#include "app/shell_util.h"
#include "archivers/job_state.h"
#include "archivers/path_util.h"
#include "platform/sjis.h"

namespace velmor {

void TUnPackThread::FinishItem() {
    TJobState& st = context_.State;
    TIniControl& ini = context_.Ini;
    IJobUi& ui = context_.Ui;
    const bool compress = st.CompressMode != 0;

    if (st.SkipItem || st.CancelSeen) {
        ui.AppendLog("> 後始末キャンセル");
        // A library that finished in spite of the stop left a complete extraction, not a leftover.
        if (st.CancelSeen && !st.SkipItem && ItemResult == 0) st.TopLevelItem.clear();
    } else if (IsFailureResult(ItemResult)) {
        ui.AppendLog("> [ " + st.JobWord + "失敗 ]\t情報=「" + std::to_string(ItemResult) + ":\"" +
                     ResultCodeName(ItemResult) + "\"」");
        st.ItemFailed = 1;
    } else {
        ui.AppendLog("> [ " + st.JobWord + " ]\t\"" + st.OutputFolder + "\" へ" + st.JobWord + "しました。");
        // Nothing is given away that is not all on disk: the archive stays, and so does its row.
        const bool withheld = !compress && ini.AfterMethod != 0 && !verified_;
        if (withheld) {
            ui.AppendLog("> [ 後始末中止 ] 解凍先に揃っていない要素があるため、書庫をそのまま残しました：" +
                         unverified_.Text());
        } else {
            ui.DeleteRow(RowIndex);
            --RowIndex;
        }
        if (!compress) {
            auto act = [&](const std::string& source, bool split) {
                if (ini.AfterMethod == 0 || withheld) return;
                // Only the file that was extracted goes: one that changed meanwhile is not the user's
                // archive.
                if (!ArchiveUnchanged(source)) {
                    ui.AppendLog("> [ 後始末エラー ] 書庫が解凍の前と変わっているため、そのままにしました。" +
                                 (split ? source : std::string()));
                    return;
                }
                switch (ini.AfterMethod) {
                    case 1: DeleteArchive(source, split); break;
                    case 2: RecycleArchive(source); break;
                    case 3: MoveArchive(source); break;
                    default: break;
                }
            };
            if (!st.SplitArchive) {
                act(ArchivePath, false);
            } else {
                try {
                    // A file named like a volume that the library never read is no part of what was
                    // extracted: it stays.
                    for (const std::string& volume : SplitParts) {
                        if (VolumeRead(volume))
                            act(volume, true);
                        else if (ini.AfterMethod != 0 && !withheld)
                            ui.AppendLog(
                                "> [ 後始末対象外 ] 解凍で読まれなかったファイルはそのまま残しました：" +
                                volume);
                    }
                } catch (...) {
                }
            }
            if (st.BindFolderCreated) unpack_.RecordCreatedFolder(st.TopLevelItem);
            if (!st.BindFolderExisted && !st.BindFolderCreated && !st.TopLevelItem.empty() &&
                context_.Shell.FolderExists(st.TopLevelItem)) {
                if (!st.TopLevelPreExisted) unpack_.RecordCreatedFolder(st.TopLevelItem);
                TrimFolderNumber(st.TopLevelItem);
            }
        }
    }

    if (!compress && !st.TopLevelItem.empty() && (st.ItemFailed || (st.SkipItem && st.BindFolderCreated)))
        unpack_.DeleteLeftover();
}

void TUnPackThread::DeleteArchive(const std::string& source, bool split) {
    try {
        const std::string suffix = split ? source : std::string();
        // What the log says is what is true afterwards: the file is gone from its place.
        if (context_.Shell.DeleteFile(source) && !context_.Shell.FileExists(source))
            context_.Ui.AppendLog("> [ 削除 ] 書庫を削除しました。" + suffix);
        else
            context_.Ui.AppendLog("> [ 後始末エラー ] 書庫を削除できませんでした。" + suffix);
    } catch (...) {
    }
}

void TUnPackThread::RecycleArchive(const std::string& source) {
    IShellOps& shell = context_.Shell;
    bool recycled = false;
    std::string keptSpare;
    try {
        // Where no recycle bin serves the volume, "allow undo" deletes for good: nothing is done then.
        const long long before = shell.RecycleBinItems(source);
        if (before >= 0) {
            // A second name keeps the archive's bytes until the bin is seen to hold it. The worker made it;
            // here only a hard link may be made, as a copy would hold the window up.
            std::unique_ptr<TSpareName> own;
            TSpareName* spare = PreparedSpare(source);
            if (!spare) {
                own = std::make_unique<TSpareName>(source, unpack_.WorkRecord, shell, false);
                spare = own.get();
            }
            if (spare->Made()) {
                shell.Recycle(source, FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_FILESONLY);
                const bool gone = !shell.FileExists(source);
                recycled = gone && shell.RecycleBinItems(source) > before;
                // What could not be put back is the archive's last copy: it stays under its second name.
                if (gone && !recycled && !spare->Restore()) keptSpare = spare->Keep();
            }
        }
    } catch (...) {
        recycled = false;
    }
    context_.Ui.AppendLog(recycled ? "> [ ごみ箱 ] 書庫をごみ箱へ移しました。"
                                   : "> [ 後始末エラー ] 書庫をごみ箱へ移せませんでした。");
    if (!keptSpare.empty())
        context_.Ui.AppendLog(
            "> [ 後始末エラー ] 書庫を元の名前に戻せなかったため、その予備を残しました：\"" + keptSpare +
            "\"");
}

void TUnPackThread::MoveArchive(const std::string& source) {
    TIniControl& ini = context_.Ini;
    IShellOps& shell = context_.Shell;
    const std::string target = NormalizeFolderPath(ini.MoveFolder);
    const std::string targetFile = target + ExtractBareName(source);
    const UINT flags = FOF_NOCONFIRMMKDIR | FOF_NOCONFIRMATION | FOF_SILENT;
    // Moving the archive into its own folder moves nothing: nobody is asked to replace it with itself.
    bool skip = context_.State.CompressMode != 0 || SameFile(source, targetFile);
    if (!skip && shell.FileExists(targetFile)) {
        switch (ini.MoveOverWrite) {
            case 0: {
                // The shell would replace the file without a question: the program asks, and only Yes
                // replaces it.
                const std::string& title = context_.State.AppTitle;
                skip =
                    context_.Ui.Ask(
                        "移動先に同じ名前のファイルがあります。\r\"" + targetFile + "\"\r上書きしますか？",
                        title.empty() ? std::string("Velmor") : title, MB_YESNO | MB_ICONQUESTION) != IDYES;
                break;
            }
            case 2:
            case 4: skip = true; break;
            default: break;
        }
    }
    if (skip) {
        context_.Ui.AppendLog("> [移動] 移動スキップ ");
        return;
    }
    bool moved = false, partRemoved = false;
    try {
        const TFileStamp before = ReadFileStamp(source);
        const TFileStamp there = ReadFileStamp(targetFile);
        shell.Move(source, target, flags);
        // Moved: gone from its place, and the file in the move folder is the archive.
        const TFileStamp after = ReadFileStamp(targetFile);
        moved = before.Valid && after.Valid && !shell.FileExists(source) && after.Size == before.Size &&
                CompareFileTime(&after.WriteTime, &before.WriteTime) == 0;
        // A move that failed part-way (a full drive) leaves a partial copy under the archive's name: it goes,
        // while the archive is whole in its place and the file is not what the move folder held before.
        if (!moved && before.Valid && after.Valid && ReadFileStamp(source) == before && !(after == there) &&
            !SameFile(source, targetFile))
            partRemoved = shell.DeleteFile(targetFile);
    } catch (...) {
        moved = false;
    }
    context_.Ui.AppendLog(moved ? "> [ 移動 ] 書庫を移動しました。=>移動先:\"" + ini.MoveFolder + "\""
                                : std::string("> [ 後始末エラー ] 書庫を移動できませんでした。"));
    if (partRemoved) context_.Ui.AppendLog("> [ 残骸の削除 ] \"" + targetFile + "\"");
}

void TUnPackThread::TrimFolderNumber(const std::string& folderIn) {
    TIniControl& ini = context_.Ini;
    // Only a folder this extraction made is renamed: the user's own folders keep their names.
    if (!ini.DelFolderNum || context_.State.TopLevelPreExisted) return;
    std::string folder = folderIn;
    if (platform::SjisEndsWithChar(folder, '\\')) folder.pop_back();
    const std::string parent = WithTrailingBackslash(ExtractFileDir(folder));
    const std::string target = parent + CutTail(ExtractBareName(folder), true);
    if (target == folder) return;
    if (context_.Shell.FolderExists(target)) {
        if (!unpack_.CreatedFolder(target)) {
            context_.Ui.AppendLog("> [ リネーム中止 ] 同名のフォルダがあります \"" + target + "\"");
            return;
        }
        std::string old = RenameToOld(target);
        ::Sleep(10);
        bool renamed = false;
        if (!old.empty()) renamed = RenameFolder(folder, target);
        ::Sleep(10);
        if (renamed && ini.SameFolderProc == 1 && !DeleteFolder(old))
            context_.Ui.AppendLog("> 既存フォルダの削除に失敗");
    } else if (RenameFolder(folder, target)) {
        unpack_.RecordCreatedFolder(target);
    }
}

// The folder goes to the recycle bin: it may hold what the user extracted and changed earlier. Where no bin
// serves the volume it stays.
bool TUnPackThread::DeleteFolder(const std::string& folder) {
    bool ok = false;
    try {
        ok = context_.Shell.RecycleBinItems(folder) >= 0 &&
             context_.Shell.Recycle(folder, FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO) == 0;
    } catch (...) {
        ok = false;
    }
    context_.Ui.AppendLog((ok ? "> [ 削除成功 ] \"" : "> [ 削除失敗 ] \"") + folder + "\"");
    return ok;
}

}  // namespace velmor
