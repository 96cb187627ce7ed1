// The engine's own guarantees about what an extraction writes, whatever the library does: no member lands
// outside the output folder or on an archive of the job, "ask" and "skip" never replace an existing file,
// and the clean-up acts only on the archive that was extracted, once all of it is on disk.
#include <map>
#include <set>

#include "app/engine/unpack_thread.h"
#include "app/ini_control.h"
#include "archivers/job_state.h"
#include "archivers/path_util.h"
#include "platform/handle.h"

namespace velmor {

namespace {
constexpr int kCannotWrite = 0x8013;  // the library's "cannot write" code
}  // namespace

bool TUnPackThread::GuardMembers(const std::string& folder) {
    TJobState& st = context_.State;
    IJobUi& ui = context_.Ui;
    const bool junk = context_.Ini.IgnoreDirectory;
    existingFiles_ = {};
    existingStamps_.clear();
    sharingNames_.clear();
    auto refuse = [&](const std::string& line) {
        ui.AppendLog(line);
        st.SkipItem = 1;
        st.ItemFailed = 1;
        return false;
    };
    // Members the walk did not see could land anywhere.
    if (!unpack_.WalkComplete) return refuse("> [ 解凍拒否 ] 書庫の要素を最後まで確認できませんでした");

    std::vector<std::string> own = SplitParts;
    own.push_back(ArchivePath);
    std::set<std::string> listed;  // the job list's archives, full paths with ASCII lowered
    bool listRead = false;
    auto guarded = [&](const std::string& target) {
        for (const std::string& path : own)
            if (SameFile(target, path)) return true;
        if (!listRead) {
            for (int i = 0, n = ui.RowCount(); i < n; ++i)
                listed.insert(AsciiLower(ExpandFileName(ui.RowText(i))));
            listRead = true;
        }
        return listed.count(AsciiLower(ExpandFileName(target))) != 0;
    };

    const TLandingCheck landing(folder);
    TFlaggedMembers outside, overwritten;
    std::map<std::string, bool> topExists;  // a member can only meet a file when its first segment exists
    for (size_t i = 0; i < unpack_.Members.size(); ++i) {
        const TCountedMember& m = unpack_.Members[i];
        if (m.Name.empty()) continue;
        if (m.Escapes) {
            outside.Add(m.Name);
            continue;
        }
        std::string top;
        const std::string target = MemberTarget(folder, m.Name, junk && !m.Folder, &top);
        if (!landing.Inside(target)) {
            outside.Add(m.Name);
            continue;
        }
        if (m.Folder || outside.Count) continue;
        auto [at, fresh] = topExists.try_emplace(AsciiLower(top), false);
        if (fresh) at->second = context_.Shell.FileExists(top);
        if (!at->second || !FileExistsSjis(target)) continue;
        if (guarded(target)) {
            overwritten.Add(m.Name);
        } else {
            existingFiles_.Add(m.Name);
            existingStamps_.emplace_back(i, ReadFileStamp(target));
        }
    }
    if (outside.Count)
        return refuse("> [ 解凍拒否 ] 解凍先フォルダの外に出る要素があります：" + outside.Text());
    if (overwritten.Count)
        return refuse("> [ 解凍拒否 ] 書庫自身を上書きする要素があります：" + overwritten.Text());

    // Members that meet on one name are extracted, but the later one replaces the earlier (or is not
    // written): the archive is not cleaned up afterwards.
    sharingNames_ = MembersSharingAName(folder, unpack_.Members, junk);
    if (!sharingNames_.empty()) {
        TFlaggedMembers sharing;
        for (size_t i : sharingNames_) sharing.Add(unpack_.Members[i].Name);
        ui.AppendLog("> [ 同名の要素 ] 解凍先で同じ名前になる要素があります：" + sharing.Text());
    }

    archiveStamps_.clear();
    for (const std::string& path : SplitParts.empty() ? std::vector<std::string>{ArchivePath} : SplitParts)
        archiveStamps_.emplace_back(path, ReadFileStamp(path));
    return true;
}

void TUnPackThread::ChooseOverwrite() {
    TJobState& st = context_.State;
    itemOverWrite_ = context_.Ini.OverWrite;
    stageExtraction_ = false;
    newerOnly_ = false;
    // A bind folder made just now holds nothing yet.
    if (st.BindFolderCreated || existingFiles_.Count == 0) return;
    if (itemOverWrite_ == 0) {
        const std::string text = "\"" + st.CurrentArchive + "\r" +
                                 "\"には既にあるファイルと同じ名前の要素があります。" + "\r" +
                                 existingFiles_.Text() + "\r" + "上書きしますか？";
        if (context_.Ui.Ask(text, "確認", MB_YESNO) == IDYES) {
            itemOverWrite_ = 1;
            return;
        }
        stageExtraction_ = true;
    } else if (itemOverWrite_ == 2) {
        stageExtraction_ = true;
    } else if (itemOverWrite_ == 3 && !HasNewerOnlySwitch(ArchiveExt)) {
        // "Newer only" with a library that has no such switch would replace every file: the extraction
        // goes through the staging folder, and a member replaces a file only where it is newer.
        stageExtraction_ = true;
        newerOnly_ = true;
    }
}

int TUnPackThread::ExtractMembers(IJobArchive& arc, HWND wnd, const std::string& destination) {
    const TIniControl& ini = context_.Ini;
    const std::string extra = ini.SpecialExt ? ini.FileSpec : std::string();
    // A run that was killed left its staging folder or an archive's second name behind: only what the
    // program's own record holds goes.
    for (const std::string& stale : RemoveStaleStagingFolders(destination, unpack_.WorkRecord))
        LogLine("> [ 残骸の削除 ] \"" + stale + "\"");
    const TStaleSpares spares = RemoveStaleSpares(unpack_.WorkRecord);
    for (const std::string& stale : spares.Removed) LogLine("> [ 残骸の削除 ] \"" + stale + "\"");
    for (const std::string& kept : spares.Kept)
        LogLine("> [ 後始末エラー ] 書庫が元の場所にないため、その予備を残しました：\"" + kept + "\"");
    int result = 0;
    if (!stageExtraction_)
        result = arc.Extract(wnd, destination, extra, TFileItems{std::string()});
    else
        result = ExtractStaged(arc, wnd, destination, extra);
    // Only a clean-up needs the check.
    if (!IsFailureResult(result) && ini.AfterMethod != 0 && VerifyExtraction(destination) &&
        ini.AfterMethod == 2)
        PrepareSpares();
    return result;
}

void TUnPackThread::PrepareSpares() {
    // On the worker: where the volume has no hard links, a second name is a copy of the whole archive.
    auto stopped = [this] { return CancelRequested != 0; };
    for (const std::string& path : SplitParts.empty() ? std::vector<std::string>{ArchivePath} : SplitParts) {
        // A file named like a volume that the library never read is not recycled: it needs no second name.
        if (!VolumeRead(path)) continue;
        spares_.push_back(
            std::make_unique<TSpareName>(path, unpack_.WorkRecord, context_.Shell, true, stopped));
        // A stop during a copy ends the clean-up; the extraction stays as it is.
        if (CancelRequested) {
            context_.State.CancelSeen = 1;
            return;
        }
    }
}

TSpareName* TUnPackThread::PreparedSpare(const std::string& path) {
    for (const auto& spare : spares_)
        if (spare->Path() == path) return spare.get();
    return nullptr;
}

int TUnPackThread::ExtractStaged(IJobArchive& arc, HWND wnd, const std::string& destination,
                                 const std::string& extra) {
    // The library writes into an empty folder of its own; only what meets no existing file moves on.
    // Named unlike any member's first segment, as Windows reads it: each member lands inside it.
    std::vector<std::string> tops;
    for (const TCountedMember& m : unpack_.Members) {
        std::string top;
        MemberTarget(std::string(), m.Name, false, &top);
        if (!top.empty()) tops.push_back(top);
    }
    const std::string staging = CreateStagingFolder(destination, unpack_.WorkRecord, tops);
    if (staging.empty()) {
        LogLine("> [ 解凍エラー ] 作業フォルダを作成できませんでした。\"" + destination + "\"");
        return kCannotWrite;
    }
    // Held open while in use, so that no other run takes it for a stale one.
    platform::UniqueFile hold(HoldFolder(staging));
    platform::ScopeExit cleanup([this, &staging, &hold] {
        hold.Reset();
        RemoveStagingFolder(staging, unpack_.WorkRecord);
    });
    const int result = arc.Extract(wnd, staging, extra, TFileItems{std::string()});
    if (IsFailureResult(result)) return result;
    const TMergeResult merged = MergeStagedFiles(staging, destination, newerOnly_);
    if (merged.Kept && newerOnly_)
        LogLine("> [ 上書きなし ] 書庫の要素より新しい既存のファイルをそのまま残しました：" +
                std::to_string(merged.Kept) + "個");
    else if (merged.Kept)
        LogLine("> [ 上書きなし ] 既存のファイルをそのまま残しました：" + std::to_string(merged.Kept) + "個");
    if (!merged.Ok) {
        LogLine("> [ 解凍エラー ] 解凍したファイルを解凍先へ移せませんでした。");
        return kCannotWrite;
    }
    return result;
}

bool TUnPackThread::VerifyExtraction(const std::string& destination) {
    const std::vector<TCountedMember>& members = unpack_.Members;
    const bool junk = context_.Ini.IgnoreDirectory;
    std::vector<bool> unverified(members.size(), false);
    // Members that met another one's name: one of them is not there as the archive holds it.
    for (size_t i : sharingNames_) unverified[i] = true;
    // Members held back: an existing file that was to stay (skip, No) or that the library kept (update)
    // is still the same file.
    if (itemOverWrite_ != 1)
        for (const auto& [i, before] : existingStamps_)
            if (before == ReadFileStamp(MemberTarget(destination, members[i].Name, junk)))
                unverified[i] = true;
    for (size_t i : MembersNotOnDisk(destination, members, junk)) unverified[i] = true;
    unverified_ = {};
    for (size_t i = 0; i < members.size(); ++i)
        if (unverified[i]) unverified_.Add(members[i].Name);
    // A delete or a recycle gives the archive away: each file whose CRC-32 the listing gave is read back, so
    // that one rewritten meanwhile at the same size is seen. A stop ends the check and the clean-up.
    const int method = context_.Ini.AfterMethod;
    bool stopped = false;
    if (unverified_.Count == 0 && (method == 1 || method == 2)) {
        for (size_t i : MembersWithOtherData(
                 destination, members, junk, [this] { return CancelRequested != 0; }, &stopped))
            unverified_.Add(members[i].Name);
        if (stopped) context_.State.CancelSeen = 1;
    }
    // A walk that did not reach the end saw only part of what the clean-up would give away.
    verified_ = unpack_.WalkComplete && unverified_.Count == 0 && !stopped;
    return verified_;
}

bool TUnPackThread::VolumeRead(const std::string& volume) const {
    if (volume == ArchivePath) return true;
    const std::string key = AsciiLower(ExpandFileName(volume));
    for (const std::string& read : volumesRead_)
        if (AsciiLower(ExpandFileName(read)) == key || SameFile(read, volume)) return true;
    return false;
}

bool TUnPackThread::ArchiveUnchanged(const std::string& path) const {
    for (const auto& [recorded, stamp] : archiveStamps_)
        if (recorded == path) return stamp == ReadFileStamp(path);
    return false;
}

}  // namespace velmor
