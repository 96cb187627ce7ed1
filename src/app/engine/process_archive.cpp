// The processing step (worker thread): pre-test, format switches by the ready flags, then Extract; or, in a
// compression job, Pack (and MakeSfx for a self-extracting archive).
#include <memory>

#include "app/engine/unpack_thread.h"
#include "app/ini_control.h"
#include "app/shell_util.h"
#include "archivers/job_state.h"
#include "archivers/path_util.h"

namespace velmor {

int TUnPackThread::ProcessArchive(const std::string& archive, const std::string& destinationIn) {
    TJobState& st = context_.State;
    TIniControl& ini = context_.Ini;
    const bool compress = st.CompressMode != 0;
    const std::string destination = WithTrailingBackslash(destinationIn);
    const std::string ext = LowerExt(archive);

    if (!compress && !CheckAbleExt(ext)) {
        st.SkipItem = 1;
        return kItemSkipped;
    }
    st.CurrentExt = ext;

    // As the combo stood when the row's preparation ran.
    const int compType = compressionType_;
    const HWND logWindow = logWindow_;

    std::unique_ptr<IJobArchive> arc = context_.Archives();
    auto progress = [this](int state, LPEXTRACTINGINFOEX info, bool& abort) {
        OnArchiveProgress(state, info, abort);
    };

    if (compress) {
        // Never write an archive over its own source.
        const std::string target = ChangeFileExt(archive, compType == 2 ? ".zip" : ".lzh");
        if (AsciiLower(target) == AsciiLower(archive)) {
            LogLine("> [ 圧縮スキップ ] 書庫名が元のファイルと同じです");
            st.SkipItem = 1;
            return kItemSkipped;
        }
        arc->SetFileName(target);
        arc->SetArchiverType(compType == 2 ? atZip : atLha);
    } else {
        arc->SetFileName(archive);
    }

    if (!compress && ini.PreTestArc) {
        arc->Options().x = 1;
        arc->SetOnProgress(progress);
        st.Status = jsPreTesting;
        LogLine("> [ 書庫テスト開始 ]");
        Post([ui = &context_.Ui] { ui->SetStatusText("書庫テスト中"); });
        // A split set is tested from its first volume, as the library reads it: it goes on to the volumes
        // that belong to the set by their content. A file that only looks like a later volume by its name is
        // not tested on its own, so it neither fails the set nor keeps it from extracting.
        const bool ok = arc->CheckArchive(ini.PreTestMode, 0) != 0;
        platform::DispatchPendingMessages();
        const bool split = st.SplitArchive != 0;
        if (!ok) {
            LogLine(split ? "> [ 分割書庫 テスト ]\t不正な書庫です - " + archive
                          : std::string("> [ 書庫テスト ]\t 不正な書庫です。"));
            st.SkipItem = 1;
            return kItemSkipped;
        }
        LogLine(split ? "> [ 分割書庫 テスト ]\t テスト通過 - " + archive
                      : std::string("> [ 書庫テスト ]\t テスト通過"));
    }

    arc->SetOnProgress(progress);
    // Queued before the status changes: a stop the user presses once it has changed writes its own status
    // text after this one.
    Post([ui = &context_.Ui] {
        ui->SetStatusText("解凍開始");
        ui->EnableButton(jbBreak, true);
        ui->EnableButton(jbBackGroundMode, true);
    });
    st.Status = jsWorking;

    std::string notReady;
    const TReadyFlags ready{st.LhaReady != 0, st.ZipReady != 0, st.CabReady != 0,
                            st.RarReady != 0, st.TarReady != 0, st.GcaReady != 0};
    if (!ApplyFormatSwitches(ext, itemOverWrite_, ini.IgnoreDirectory, ready, arc->Options(), notReady)) {
        LogLine(notReady);
        st.SkipItem = 1;
        return kItemSkipped;
    }
    arc->SetOutputSize(ini.BuffMegaSize * 1024);

    // The stop test sits right before the library call, and the request is never cleared here, so a stop
    // pressed at any point of the row is taken up.
    if (CancelRequested) {
        st.CancelSeen = 1;
        return kItemStopped;
    }

    if (!compress) return ExtractMembers(*arc, logWindow, destination);

    const std::string src = archive;
    const std::string base = WithTrailingBackslash(ExtractFileDir(src));
    const std::string name = ExtractBareName(src);
    if (compType == 2) {
        arc->SetFileName(ChangeFileExt(arc->FileName(), ".zip"));
        arc->SetArchiverType(atZip);
    } else {
        arc->SetFileName(ChangeFileExt(arc->FileName(), ".lzh"));
        arc->SetArchiverType(atLha);
        arc->Options().jso = 1;
    }
    int result = 0;
    TArchiverOptions& o = arc->Options();
    if (compType == 2) {
        arc->SetArchiverType(atZip);
        o.r = o.a = 1;
        LogLine("Zip圧縮");
    } else {
        o.a = 1;
    }
    if (context_.Shell.FolderExists(src)) {
        if (compType != 2) {
            o.r = 1;
            o.UserOptions = "-x1 -jf0";
        }
        result = arc->Pack(logWindow, base, TFileItems{name + "\\*.*"});
    } else {
        result = arc->Pack(logWindow, base, TFileItems{src});
    }
    if (compType == 1) {
        ::Sleep(1000);
        arc.reset();
        std::unique_ptr<IJobArchive> sfx = context_.Archives();
        sfx->SetArchiverType(atLha);
        sfx->Options().jso = 1;
        sfx->Options().jw = 1;
        sfx->Options().w = base;
        sfx->SetFileName(ChangeFileExt(src, ".lzh"));
        int sfxResult = sfx->MakeSfx(logWindow, base);
        ::Sleep(1000);
        // A self-extracting archive that could not be made is a failure of the row.
        if (!IsFailureResult(result) && IsFailureResult(sfxResult)) return sfxResult;
    }
    return result;
}

}  // namespace velmor
