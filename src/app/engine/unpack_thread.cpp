// The worker of one job: the output-folder check, the walk over the job list with folder rows expanded, the
// progress handler and display, pause, and the hand-over of the job's end to the main thread.
#include "app/engine/unpack_thread.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "app/ini_control.h"
#include "app/shell_util.h"
#include "archivers/job_state.h"
#include "platform/handle.h"
#include "platform/sjis.h"
#include "platform/thread.h"

namespace velmor {

class TUnPackThread::TWorker : public platform::TThread {
public:
    explicit TWorker(TUnPackThread& owner) : owner_(owner) {}
    ~TWorker() override = default;

protected:
    void Execute() override { owner_.Run(); }

private:
    TUnPackThread& owner_;
};

TUnPackThread::TUnPackThread(const TJobContext& context, TUnPack& unpack)
    : context_(context),
      unpack_(unpack),
      alive_(std::make_shared<std::atomic<uint8_t>>(1)),
      progress_(context_.Main, [this](const TProgressView& view) { DrawProgress(view); }),
      walkShown_(context_.Main, [this](const std::string& folder) {
          if (!context_.Ui.IsMinimized()) context_.Ui.ShowMemberName(folder);
      }) {
    resumeEvent_ = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
    ResetDrawnProgress();
}

TUnPackThread::~TUnPackThread() {
    *alive_ = 0;
    Resume();
    worker_.reset();  // waits for a running worker
    if (resumeEvent_) ::CloseHandle(resumeEvent_);
}

bool TUnPackThread::Start(int priority) {
    if (worker_) return false;
    worker_ = std::make_unique<TWorker>(*this);
    worker_->SetPriority(priority);
    running_ = 1;
    if (!worker_->Start()) {
        running_ = 0;
        worker_.reset();
        return false;
    }
    return true;
}

void TUnPackThread::Run() {
    try {
        Execute();
    } catch (...) {
        // Every step catches its own failures; nothing may stop the hand-over below.
    }
    // The last act of the worker: the main thread joins it and ends the job, once.
    std::shared_ptr<std::atomic<uint8_t>> alive = alive_;
    context_.Main.Post([this, alive] {
        if (!*alive) return;
        if (worker_) worker_->WaitFor();
        running_ = 0;
        // A copy: the handler may free this object.
        if (std::function<void()> ended = OnJobEnded) ended();
    });
}

void TUnPackThread::Sync(const std::function<void()>& fn) { context_.Main.Invoke(fn); }

void TUnPackThread::Post(std::function<void()> fn) { context_.Main.Post(std::move(fn)); }

// The worker need not wait for a log line: posted, it still comes before the lines of the next step.
void TUnPackThread::LogLine(const std::string& text) {
    Post([ui = &context_.Ui, text] { ui->AppendLog(text); });
}

void TUnPackThread::Suspend() {
    paused_ = 1;
    if (resumeEvent_) ::ResetEvent(resumeEvent_);
}

void TUnPackThread::Resume() {
    paused_ = 0;
    if (resumeEvent_) ::SetEvent(resumeEvent_);
}

void TUnPackThread::WaitWhilePaused() {
    if (paused_ && resumeEvent_) ::WaitForSingleObject(resumeEvent_, INFINITE);
}

void TUnPackThread::Execute() {
    TJobState& st = context_.State;
    const bool compress = st.CompressMode != 0;
    folderRows_.clear();
    SplitParts.clear();

    // Each hand-over to the main thread costs a round trip through the system (about 0.2 ms under Wine), so
    // calls that follow one another are folded: the row count and the next row's text (a folder row is walked
    // here on the worker) ride on the check before the loop and on each row's completion step, the compression
    // type on the preparation step.
    int rows = 0;
    std::string nextRowText;
    auto readNextRow = [&] {
        rows = context_.Ui.RowCount();
        nextRowText = RowIndex + 1 < rows ? context_.Ui.RowText(RowIndex + 1) : std::string();
    };
    RowIndex = -1;
    Sync([&] {
        CheckOutputFolders();
        if (st.AbortJob) return;
        logWindow_ = context_.Ui.LogWindow();
        readNextRow();
    });
    if (st.AbortJob) return;

    RowIndex = 0;
    while (RowIndex < rows) {
        WaitWhilePaused();
        // Stop first, reset second: the end of the job still needs the stopped row's leftover.
        if (st.CancelSeen) break;

        ResetItem();
        // A stop pressed after the previous row's last report is taken up here, before this row reaches the
        // library; the finished row's output is not a leftover (the reset above cleared it).
        if (CancelRequested) {
            st.CancelSeen = 1;
            break;
        }

        // A folder row's walk runs here on the worker; a stop during it ends the job at this row.
        if (!compress && context_.Shell.FolderExists(nextRowText) && !ExpandFolderRow(nextRowText)) {
            st.CancelSeen = 1;
            break;
        }
        Sync([&] {
            ResetDrawnProgress();
            PrepareItem();
            compressionType_ = context_.Ui.CompressionType();
        });
        ItemResult = 0;
        if (!st.SkipItem) {
            try {
                ItemResult = ProcessArchive(ArchivePath, st.OutputFolder);
            } catch (...) {
                LogLine("> [ 実行エラー ]　解凍関数実行時に例外が発生しました");
                st.SkipItem = 1;
            }
        }
        Sync([&] {
            // The archive's last progress is shown before its result line.
            progress_.Flush();
            FinishItem();
            // Read afresh on every pass: rows added during the job (expansions, drops) are processed too.
            readNextRow();
        });
        // Removed here, not on the window's thread: a second name may be a copy of a large archive.
        spares_.clear();
        ++RowIndex;
    }

    // Each deletion moves the later rows up by one; a row whose text changed meanwhile is left alone.
    Sync([this] {
        std::vector<std::string> texts;
        for (int index : folderRows_) texts.push_back(context_.Ui.RowText(index));
        for (size_t i = 0; i < folderRows_.size(); ++i) {
            int index = folderRows_[i] - static_cast<int>(i);
            if (index >= 0 && index < context_.Ui.RowCount() && context_.Ui.RowText(index) == texts[i])
                context_.Ui.DeleteRow(index);
        }
    });
}

bool TUnPackThread::ExpandFolderRow(const std::string& folder) {
    std::vector<std::string> found;
    TWalkHooks hooks{[this](const std::string& where) { walkShown_.Offer(where); },
                     [this] { return CancelRequested != 0; }};
    if (ListFilesRecursive(folder, found, &hooks) < 0) return false;
    std::vector<std::string> files;
    for (std::string& file : found)
        if (!context_.Shell.FolderExists(file)) files.push_back(std::move(file));
    // Where each appended row went: a stop before the last slice takes them out again.
    std::vector<std::pair<int, size_t>> appended;
    size_t next = 0;
    while (next < files.size()) {
        if (CancelRequested) {
            Sync([&] {
                for (auto it = appended.rbegin(); it != appended.rend(); ++it)
                    if (it->first < context_.Ui.RowCount() && context_.Ui.RowText(it->first) == files[it->second])
                        context_.Ui.DeleteRow(it->first);
            });
            return false;
        }
        // Slices of about 50 ms on the window's thread, whatever a row costs there: it answers between them.
        Sync([&] {
            const ULONGLONG until = ::GetTickCount64() + 50;
            do {
                appended.emplace_back(context_.Ui.RowCount(), next);
                context_.Ui.AppendRow(files[next]);
            } while (++next < files.size() && ::GetTickCount64() < until);
        });
    }
    folderRows_.push_back(RowIndex);
    return true;
}

void TUnPackThread::ResetItem() {
    TJobState& st = context_.State;
    SplitParts.clear();
    st.SkipItem = 0;
    st.BindFolderExisted = 0;
    st.SplitArchive = 0;
    st.ItemFailed = 0;
    st.BindFolderCreated = 0;
    st.TopLevelPreExisted = 0;
    st.TopLevelItem.clear();
    itemOverWrite_ = context_.Ini.OverWrite;
    stageExtraction_ = false;
    newerOnly_ = false;
    existingFiles_ = {};
    existingStamps_.clear();
    sharingNames_.clear();
    archiveStamps_.clear();
    volumesRead_.clear();
    verified_ = false;
    unverified_ = {};
    offered_ = TProgressView{"xxxxxx", 999, 999};
    doneBytes_ = 0;
}

void TUnPackThread::ResetDrawnProgress() { drawn_ = TProgressView{"xxxxxx", 999, 999}; }

void TUnPackThread::CheckOutputFolders() {
    TJobState& st = context_.State;
    TIniControl& ini = context_.Ini;
    bool ok = true;
    switch (ini.PutLocation) {
        case 1:
            ini.SpecialFolder = context_.Ui.SpecialFolderText();
            ok = EnsureFolder(ini.SpecialFolder, "解凍先");
            break;
        case 2:
        case 3:
        case 4: {
            static const char* const kWords[] = {"お決まり1", "お決まり2", "お決まり3"};
            int i = ini.PutLocation - 2;
            ini.Favorite[i] = context_.Ui.SpecialFolderText();
            ok = EnsureFolder(ini.Favorite[i], kWords[i]);
            break;
        }
        default:
            break;
    }
    if (!ok) {
        context_.Ui.AppendLog("[ 全体キャンセル ] 解凍先フォルダ ");
        st.AbortJob = 1;
        return;
    }
    if (ini.AfterMethod == 3 && !EnsureFolder(ini.MoveFolder, "移動先")) {
        context_.Ui.AppendLog("[ キャンセル ] 移動先フォルダ ");
        st.AbortJob = 1;
    }
}

bool TUnPackThread::EnsureFolder(const std::string& folder, const std::string& word) {
    // A folder that is not a full path would be made wherever the program's current folder happens to be.
    if (folder.empty() || folder == "\\" || !IsAbsolutePath(folder)) {
        context_.Ui.Ask("フォルダ(" + word + ")が指定されていません", "フォルダ", MB_OK);
        return false;
    }
    if (context_.Shell.FolderExists(folder)) return true;
    if (!context_.Shell.CreateFolder(folder)) {
        context_.Ui.Ask("フォルダエラー: 新規" + word + "フォルダを作成できません。" + "\r" +
                            "不正なパスか、または読み取り専用領域か、ファイルシステムのエラーです。",
                        "開始できません", MB_OK);
        context_.State.AbortJob = 1;
        return false;
    }
    context_.Ui.PushComboHistory(word == "移動先" ? fcMoveFolder : fcSpecialFolder, folder);
    return true;
}

int TUnPackThread::ListFilesRecursive(const std::string& folder, std::vector<std::string>& list,
                                      const TWalkHooks* hooks) {
    const std::string path = WithTrailingBackslash(folder);
    if (hooks && hooks->OnFolder) hooks->OnFolder(path);
    WIN32_FIND_DATAW data;
    platform::UniqueFind find(::FindFirstFileW(platform::SjisToWide(path + "*").c_str(), &data));
    if (!find) return 0;
    int count = 0;
    do {
        if (hooks && hooks->Stopped && hooks->Stopped()) return -1;
        std::string name = platform::WideToSjis(data.cFileName);
        // Only a plain folder is descended into; one with further attribute bits is listed like a file.
        if (data.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY) {
            if (name == "." || name == "..") continue;
            std::vector<std::string> sub;
            const int below = ListFilesRecursive(path + name, sub, hooks);
            list.insert(list.end(), sub.begin(), sub.end());
            if (below < 0) return -1;
        } else {
            list.push_back(path + name);
            ++count;
        }
    } while (::FindNextFileW(find.Get(), &data));
    return count;
}

void TUnPackThread::OnArchiveProgress(int state, LPEXTRACTINGINFOEX info, bool& abort) {
    TJobState& st = context_.State;
    if (state == ARCEXTRACT_OPEN && info)
        volumesRead_.emplace_back(info->SourceFileName,
                                  strnlen(info->SourceFileName, sizeof(info->SourceFileName)));
    if (state == 1) {
        UpdateProgress(info);
        if (CancelRequested) {
            abort = true;
            if (!st.CancelSeen) {
                st.CancelSeen = 1;
                st.Status = jsStopRequested;
                if (st.CurrentExt == ".zip" && !QuietStop) {
                    int answer = IDNO;
                    Sync([&] {
                        answer = context_.Ui.Ask("1つのファイル処理中のZip強制中断は終了が必要です。\r終了しますか？",
                                                 "終了確認", MB_YESNO);
                    });
                    if (answer == IDYES) {
                        Sync([&] { context_.Ui.RequestQuit(); });
                    } else {
                        CancelRequested = 0;
                        st.Status = jsWorking;
                        st.CancelSeen = 0;
                        Post([ui = &context_.Ui] { ui->EnableButton(jbBreak, true); });
                        abort = false;
                    }
                }
            }
        }
    }
    // The component's progress window lives on this thread. The reports reach it by direct calls; what is
    // posted to the thread's windows is served every few milliseconds.
    pump_.Serve();
    WaitWhilePaused();
}

void TUnPackThread::UpdateProgress(LPEXTRACTINGINFOEX info) {
    if (!info) return;
    const uint32_t size = info->FileSize;
    const uint32_t written = std::min(info->WriteSize, size);
    const std::string_view name(info->SourceFileName, strnlen(info->SourceFileName, sizeof(info->SourceFileName)));
    const TProgressPercents percents =
        ProgressPercents(size, written, doneBytes_, context_.State.ArchiveOriginalSize);

    if (name != offered_.Name || percents.File != offered_.FilePercent ||
        percents.Total != offered_.TotalPercent) {
        offered_.Name.assign(name);
        offered_.FilePercent = percents.File;
        offered_.TotalPercent = percents.Total;
        progress_.Offer(offered_);
    }
    if (written >= size) {
        doneBytes_ += size;
        // The next member's first report is handed over even when it looks the same.
        offered_.FilePercent = 999;
    }
}

void TUnPackThread::DrawProgress(const TProgressView& view) {
    IJobUi& ui = context_.Ui;
    // Nothing is drawn nor recorded as drawn while minimised.
    if (ui.IsMinimized()) return;
    if (context_.Ini.IndicatePerFile) {
        if (view.Name != drawn_.Name) ui.ShowMemberName(view.Name);
        if (view.FilePercent != drawn_.FilePercent) ui.SetFileProgress(view.FilePercent);
    }
    if (view.TotalPercent != drawn_.TotalPercent) ui.SetTotalProgress(view.TotalPercent);
    drawn_ = view;
}

void EndJobAfterStop(const TJobContext& context, TUnPack& unpack) {
    TJobState& st = context.State;
    if (!st.BreakPressed) return;
    // Only a stop the worker took up interrupted an extraction; after a completed one nothing is deleted.
    if (st.CancelSeen) {
        context.Ui.AppendLog("> [ 強制中断 ] 中断されました。");
        unpack.DeleteLeftover();
    }
    st.BreakPressed = 0;
    st.CancelSeen = 0;
}

}  // namespace velmor
