// The options window: building the four pages, loading them from the settings record and the shell, and
// storing them back on OK.
#include "app/forms/form_option.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>

#include "app/ini_control.h"
#include "archivers/job_state.h"
#include "platform/application.h"
#include "platform/sjis.h"

namespace velmor {

using namespace platform;

namespace {
constexpr int kClientWidth = 471, kClientHeight = 461;
enum TPage { pgGeneral, pgExtract, pgNotice, pgShell };

// The caption of the bind box; the number field and its up-down sit in the blanks.
constexpr char kBindCaptionHead[] = "圧縮ファイル内の要素が";
constexpr char kBindCaptionGap[] = "　  　　 　";
constexpr char kBindCaptionTail[] = "個以上なら自動的にフォルダでくくる";

std::string ModulePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n < buffer.size()) {
            buffer.resize(n);
            return WideToSjis(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

// A whole decimal number of 32 bits, else nothing.
std::optional<int32_t> ParseNumber(const std::string& text) {
    int32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}
}  // namespace

TfrmOption::TfrmOption() : TForm(L"TfrmOption") {
    OnCreate = [this] { FormCreate(); };
    // A restored owner showing the dialog again is no new showing (the form sees none): the user's unsaved
    // choices stay.
    OnShow = [this] { FormShow(); };
    OnMessage = [this](UINT msg, WPARAM, LPARAM, LRESULT& result) {
        if (msg == DM_GETDEFID) {
            // Enter presses "O K", as in a dialog box.
            result = MAKELRESULT(btnOK.Id(), DC_HASDEFID);
            return true;
        }
        return false;
    };
    btnOK.OnClick = [this] { btnOKClick(); };
    btnCancel.OnClick = [this] { btnCancelClick(); };
    chkIgnoreDirectory.OnClick = [this] { chkIgnoreDirectoryClick(); };
    chkResistSendTo.OnClick = [this] { chkResistSendToClick(); };
    chkEnableRightMenu.OnClick = [this] { chkEnableRightMenuClick(); };
    upBindNum.OnClick = [this] { upBindNumClick(); };
    // A number typed into the field moves the up-down along, so that the arrows step from it.
    stBindNum.OnChange = [this] {
        if (auto n = ParseNumber(stBindNum.Text())) upBindNum.SetPosition(*n);
    };
    trackBufferSize.OnChange = [this] { trackBufferSizeChange(); };
    btnAllOn.OnClick = [this] { btnAllOnClick(); };
    btnAllOff.OnClick = [this] { btnAllOffClick(); };
    PageControlSetting.OnChange = [this] { PageControlSettingChange(); };
}

std::vector<TfrmOption::TExtBox> TfrmOption::ExtBoxes() {
    return {{&chkLzh, "lzh", true},         {&chkLha, "lha", true}, {&chkZip, "zip", true},
            {&chkRar, "rar", true},         {&chkCab, "cab", true}, {&chkTar, "tar", true},
            {&chkTarGz, "tar.gz", true},    {&chkTgz, "tgz", true}, {&chkGz, "gz", true},
            {&chkTarTar, "tar.tar", false}, {&chkGCA, "gca", false}};
}

void TfrmOption::FormCreate() {
    SetCaption("動作と関連付けの設定");
    SetBorderStyle(*this, bsSingle);
    SetClientSize(kClientWidth, kClientHeight);
    Shell.ProgId = "VelmorPlus";
    Shell.ExePath = ModulePath();
    Shell.Title = JobState().AppTitle.empty() ? "Velmor" : JobState().AppTitle;
    Shell.Owner = Handle();
    BuildControls();
    PageControlSetting.SetTabIndex(pgExtract);
}

void TfrmOption::BuildControls() {
    Hint.Create(*this);
    PageControlSetting.Create(*this, 4, 4, kClientWidth - 8, 418, 0, true);
    for (const char* caption : {"■全般", "■解凍の設定", "■通知の設定", "■関連付け"})
        PageControlSetting.AddPage(caption);

    auto on = [this](int page, std::initializer_list<TWinControl*> controls) {
        for (TWinControl* c : controls) PageControlSetting.AddToPage(page, *c);
    };
    const int top = 36;  // below the page buttons

    // "■全般"
    grpSecurity.Create(*this, 12, top, 447, 104, "「セキュリティ」");
    chkAlertAbsExpand.Create(*this, 24, top + 20, 420, 20, "パスにドライブ文字（絶対パス）があれば警告");
    chkCheckDangerPath.Create(*this, 24, top + 46, 420, 20, "スタートアップなどの文字を警告");
    lblDangerNote.Create(*this, 44, top + 70, 400, 18, "tar系を解凍する際は外したほうがいい場合があります。");
    on(pgGeneral, {&grpSecurity, &chkAlertAbsExpand, &chkCheckDangerPath, &lblDangerNote});

    // "■解凍の設定"
    grpBind.Create(*this, 12, top, 447, 114, "ファイル散乱防止");
    {
        // The number field and its up-down sit in the blanks of the box's caption. The box ends where the
        // blanks begin and a label beside the up-down shows the rest of the caption, so that nothing lies
        // over anything else: each part takes the clicks where it is drawn.
        const int textLeft = 24 + ::GetSystemMetrics(SM_CXMENUCHECK) + 4;
        const int gapLeft = textLeft + TextWidth(Handle(), Font(), kBindCaptionHead);
        const int gapWidth = TextWidth(Handle(), Font(), kBindCaptionGap);
        const int upDownWidth = ::GetSystemMetrics(SM_CXVSCROLL);
        chkBindFolder.Create(*this, 24, top + 18, gapLeft - 24, 20,
                             std::string(kBindCaptionHead) + kBindCaptionGap + kBindCaptionTail);
        const int fieldWidth = std::max(gapWidth - upDownWidth - 4, 28);
        stBindNum.Create(*this, gapLeft + 2, top + 18, fieldWidth, 20);
        ::SetWindowLongPtrW(stBindNum.Handle(), GWL_STYLE,
                            ::GetWindowLongPtrW(stBindNum.Handle(), GWL_STYLE) | ES_NUMBER);
        upBindNum.Create(*this, stBindNum, 0, 100);
        Hint.Add(stBindNum, "個数を設定します");
        const int tailLeft = gapLeft + 2 + fieldWidth + upDownWidth + 4;
        lblBindTail.Create(*this, tailLeft, top + 18, 450 - tailLeft, 20, kBindCaptionTail,
                           SS_LEFT | SS_NOTIFY | SS_CENTERIMAGE);
        lblBindTail.OnClick = [this] { ::SendMessageW(chkBindFolder.Handle(), BM_CLICK, 0, 0); };
    }
    chkDelFolderNum.Create(*this, 24, top + 42, 426, 20,
                           "フォルダを作成するとき、うしろにつくバージョン番号を除去する");
    lblDelFolderNote.Create(*this, 44, top + 62, 400, 16, "（数字, アンダーバー , ピリオド, 空白など) ");
    lblSameFolder.Create(*this, 24, top + 86, 170, 18, "同名のフォルダがあった場合");
    cmbSameFolderProc.Create(*this, 196, top + 82, 250, 120, csDropDownList);
    cmbSameFolderProc.Add("古い方は \"_old数字\" を付けて退避");
    cmbSameFolderProc.Add("古い方は削除/上書き");
    chkIgnoreDirectory.Create(*this, 24, top + 120, 420, 20, "ディレクトリ構成を無視して解凍する");
    chkIgnoredSingleBind.Create(*this, 44, top + 142, 400, 20, "要素が2つ以上なら１つのフォルダへ入れる）");
    grpOverWrite.Create(*this, 12, top + 168, 447, 48, "同名のファイルがあった時");
    rbtnConfirm.Create(*this, 24, top + 188, 96, 20, "確認する", true);
    rbtnOverWrite.Create(*this, 124, top + 188, 90, 20, "上書き", false);
    rbtnSkip.Create(*this, 218, top + 188, 96, 20, "スキップ", false);
    rbtnIfNew.Create(*this, 318, top + 188, 136, 20, "新しければ上書き", false);
    grpMoveOverWrite.Create(*this, 12, top + 222, 447, 48, "後始末：移動で同名のファイルがあった時");
    rbtnMoveConfirm.Create(*this, 24, top + 242, 96, 20, "上書き確認", true);
    rbtnMoveOverwrite.Create(*this, 124, top + 242, 90, 20, "上書き", false);
    rbtnMoveSkip.Create(*this, 218, top + 242, 96, 20, "スキップ", false);
    rbtnMoveGenNummed.Create(*this, 318, top + 242, 136, 20, "名前を変えて保存（連番）", false);
    grpBuffer.Create(*this, 12, top + 276, 447, 64, "バッファサイズ");
    trackBufferSize.Create(*this, 22, top + 294, 340, 36, 5, 100, 10);
    lblBuffSize.Create(*this, 370, top + 302, 80, 18, "", SS_LEFT);
    chkCheckDiv.Create(*this, 24, top + 348, 420, 20, "rar分割ファイルを同一フォルダ内で検索");
    on(pgExtract, {&grpBind,
                   &chkBindFolder,
                   &stBindNum,
                   &upBindNum,
                   &lblBindTail,
                   &chkDelFolderNum,
                   &lblDelFolderNote,
                   &lblSameFolder,
                   &cmbSameFolderProc,
                   &chkIgnoreDirectory,
                   &chkIgnoredSingleBind,
                   &grpOverWrite,
                   &rbtnConfirm,
                   &rbtnOverWrite,
                   &rbtnSkip,
                   &rbtnIfNew,
                   &grpMoveOverWrite,
                   &rbtnMoveConfirm,
                   &rbtnMoveOverwrite,
                   &rbtnMoveSkip,
                   &grpBuffer,
                   &trackBufferSize,
                   &lblBuffSize,
                   &chkCheckDiv});

    // "■通知の設定"
    grpNotice.Create(*this, 12, top, 447, 124, "お知らせの表示");
    chkEndDlg.Create(*this, 24, top + 20, 420, 20, "全ての処理が終了したときにお知らせする");
    CheckBox1.Create(*this, 24, top + 44, 420, 20, "項目の処理ごとにバルーンで表示する");
    chkConfirmIgnore.Create(*this, 24, top + 68, 420, 20, "ディレクトリ構成を無視するときに確認する");
    chkConfirmDelete.Create(*this, 24, top + 92, 420, 20, "後始末で完全削除が選択されていた時に警告する");
    grpSendTo.Create(*this, 12, top + 134, 447, 70, "解凍先の指定");
    chkConfirmSendTo.Create(*this, 24, top + 154, 420, 20, "「送る」 「関連付け」 「アイコンへドラッグ」で");
    lblConfirmSendTo.Create(*this, 44, top + 178, 400, 18, "起動したとき、解凍先を毎回指定する");
    on(pgNotice, {&grpNotice, &chkEndDlg, &CheckBox1, &chkConfirmIgnore, &chkConfirmDelete, &grpSendTo,
                  &chkConfirmSendTo, &lblConfirmSendTo});

    // "■関連付け"
    grpShortcut.Create(*this, 12, top, 447, 70, "ショートカットの登録");
    chkResistSendTo.Create(*this, 24, top + 20, 420, 20, "ファイルを右クリック時の「送る」 に登録する");
    chkResistStartMenu.Create(*this, 24, top + 44, 420, 20, "スタートメニューの「プログラム」 に登録する");
    grpRightMenu.Create(*this, 12, top + 78, 447, 292, "圧縮ファイルへの操作関連付け設定");
    chkEnableRightMenu.Create(*this, 24, top + 98, 420, 20, "圧縮ファイルに右クリックメニューを追加する");
    grpExt.Create(*this, 20, top + 124, 168, 236, "");
    struct Place {
        TCheckBox* box;
        const char* caption;
        int column, row;
    } places[] = {
        {&chkLzh, ".ｌｚｈ", 0, 0},     {&chkLha, ".lha ", 1, 0}, {&chkZip, ".zip", 0, 1},
        {&chkRar, ".rar ", 1, 1},       {&chkCab, ".cab ", 0, 2}, {&chkTar, ".tar", 1, 2},
        {&chkTarGz, ".tar.gz", 0, 3},   {&chkTgz, ".tgz", 1, 3},  {&chkGz, ".gz", 0, 4},
        {&chkTarTar, ".tar.tar", 1, 4}, {&chkGCA, ".gca ", 0, 5},
    };
    for (const Place& p : places)
        p.box->Create(*this, 32 + p.column * 76, top + 142 + p.row * 26, 72, 20, p.caption);
    btnAllOn.Create(*this, 32, top + 290, 144, 24, "すべてチェック");
    btnAllOff.Create(*this, 32, top + 320, 144, 24, "すべてをはずす");
    grpMenuOrder.Create(*this, 194, top + 124, 257, 236, "右クリックメニューの順番");
    lblMenuOrder.Create(*this, 204, top + 146, 244, 18, "一番上にもってくるものをチェックします");
    radioVelmorOnly.Create(*this, 206, top + 174, 240, 20, "解凍のみ(元ファイルそのまま)", true);
    radioVelmorTrash.Create(*this, 206, top + 200, 240, 20, "解凍して元ファイルをごみ箱に捨てる", false);
    radioVelmorDelete.Create(*this, 206, top + 226, 240, 20, "解凍して元ファイルを完全削除", false);
    radioVelmorPreview.Create(*this, 206, top + 252, 240, 20, "プレビュー(Velmor)", false);
    on(pgShell, {&grpShortcut,
                 &chkResistSendTo,
                 &chkResistStartMenu,
                 &grpRightMenu,
                 &chkEnableRightMenu,
                 &grpExt,
                 &chkLzh,
                 &chkLha,
                 &chkZip,
                 &chkRar,
                 &chkCab,
                 &chkTar,
                 &chkTarGz,
                 &chkTgz,
                 &chkGz,
                 &btnAllOn,
                 &btnAllOff,
                 &grpMenuOrder,
                 &lblMenuOrder,
                 &radioVelmorOnly,
                 &radioVelmorTrash,
                 &radioVelmorDelete,
                 &radioVelmorPreview});

    // Below the pages, last in the tab order.
    btnOK.Create(*this, 286, 428, 86, 26, "O K", true);
    btnCancel.Create(*this, 378, 428, 86, 26, "キャンセル");

    // Hidden controls: never on a page, so no page switch shows them.
    grpPriority.Create(*this, 12, top, 200, 60, "スレッドの優先度");
    chkMultiInstance.Create(*this, 24, top + 20, 180, 20, "多重起動を許可する");
    chkAutoExtract.Create(*this, 24, top + 90, 300, 20, "フォルダに入った圧縮ファイルの自動解凍を行う");
    lstAutoFolders.Create(*this, 24, top + 114, 300, 100, csDropDownList);
    chkBufferAuto.Create(*this, 370, top + 296, 60, 18, "自動");
    chkNoDoubleFolder.Create(*this, 24, top + 350, 300, 20, "二重フォルダ作成の抑制（実装中）");
    lstMenuItems.Create(*this, 240, top + 170, 150, 100, csDropDownList);
    btnMenuUp.Create(*this, 394, top + 170, 50, 22, "↑");
    btnMenuDown.Create(*this, 394, top + 196, 50, 22, "↓");
    for (TWinControl* c : std::initializer_list<TWinControl*>{
             &rbtnMoveGenNummed, &chkTarTar, &chkGCA, &grpPriority, &chkMultiInstance, &chkAutoExtract,
             &lstAutoFolders, &chkBufferAuto, &chkNoDoubleFolder, &lstMenuItems, &btnMenuUp, &btnMenuDown})
        c->SetVisible(false);
    chkGCA.SetEnabled(false);
    // The page control first: its tabs, then the page's controls, then OK and Cancel.
    ArrangeInCreationOrder(*this);
}

void TfrmOption::FormShow() {
    // Created without an owner (as the application's forms are), the dialog belongs to the main window.
    OwnByMainForm();
    CenterOnOwner();
    loadComplete_ = false;
    TIniControl& ini = IniControl;
    try {
        chkIgnoredSingleBind.SetEnabled(chkIgnoreDirectory.Checked());
        chkCheckDangerPath.SetChecked(ini.CheckDangerPath);
        chkResistStartMenu.SetChecked(Shell.UpdateProgramsMenuLink(true, false));
        // The fourth button stands for 4; 3 and anything else check none.
        moveGroup_.SetChecked(ini.MoveOverWrite <= 2 ? ini.MoveOverWrite : ini.MoveOverWrite == 4 ? 3 : -1);
        overWriteGroup_.SetChecked(ini.OverWrite <= 3 ? ini.OverWrite : -1);
        chkEndDlg.SetChecked(ini.ShowEndDlg);
        chkBindFolder.SetChecked(ini.BindFolder);
        chkConfirmSendTo.SetChecked(ini.ConfirmSendTo);
        chkConfirmDelete.SetChecked(ini.ConfirmDelete);
        chkResistSendTo.SetChecked(Shell.IsSendToLinkPresent());
        chkCheckDiv.SetChecked(ini.CheckDiv);
        chkIgnoreDirectory.SetChecked(ini.IgnoreDirectory);
        chkDelFolderNum.SetChecked(ini.DelFolderNum);
        trackBufferSize.SetPosition(ini.BuffMegaSize);
        chkIgnoredSingleBind.SetChecked(ini.IgnoredSingleBind);
        updatelblbuff();
        cmbSameFolderProc.SetItemIndex(ini.SameFolderProc < cmbSameFolderProc.Count() ? ini.SameFolderProc
                                                                                      : -1);
        chkAlertAbsExpand.SetChecked(ini.AlertAbsExpand);
        chkConfirmIgnore.SetChecked(ini.ConfirmIgnore);
        // A hand-edited number outside the up-down's range stays visible and is stored back as it is; only
        // the up-down's position is clamped.
        stBindNum.SetText(std::to_string(ini.BindNum));
        upBindNum.SetPosition(ini.BindNum);
        chkEnableRightMenu.SetChecked(Shell.IsProgIdRegistered(Shell.ProgId));
        switchChkEnable(chkEnableRightMenu.Checked());
        for (const char* ext :
             {"lzh", "lha", "zip", "cab", "rar", "tar", "tar.gz", "tar.tar", "tgz", "gz", "gca"}) {
            for (const TExtBox& e : ExtBoxes())
                if (std::string_view(e.ext) == ext) e.box->SetChecked(Shell.IsExtAttached(ext, Shell.ProgId));
        }
        TRightMenuTop topItem = Shell.GetRightMenuTopItem();
        topVerbGroup_.SetChecked(topItem == rmtNone ? -1 : static_cast<int>(topItem));
        loadComplete_ = true;
    } catch (...) {
        // The controls after the failing step keep their previous state; OK then leaves the shell alone.
    }
}

void TfrmOption::btnOKClick() {
    TIniControl& ini = IniControl;
    ini.BindFolder = chkBindFolder.Checked();
    ini.ShowEndDlg = chkEndDlg.Checked();
    if (int i = overWriteGroup_.Checked(); i >= 0) ini.OverWrite = static_cast<uint8_t>(i);
    if (int i = moveGroup_.Checked(); i >= 0) ini.MoveOverWrite = static_cast<uint8_t>(i == 3 ? 4 : i);
    ini.CheckDangerPath = chkCheckDangerPath.Checked();
    ini.ConfirmSendTo = chkConfirmSendTo.Checked();
    ini.ConfirmDelete = chkConfirmDelete.Checked();
    ini.CheckDiv = chkCheckDiv.Checked();
    ini.DelFolderNum = chkDelFolderNum.Checked();
    ini.BuffMegaSize = trackBufferSize.Position();
    if (loadComplete_) {
        Shell.UpdateSendToLink(chkResistSendTo.Checked(), ini.ResistSendTo);
        Shell.UpdateProgramsMenuLink(false, chkResistStartMenu.Checked());
    }
    ini.IgnoreDirectory = chkIgnoreDirectory.Checked();
    ini.IgnoredSingleBind = chkIgnoredSingleBind.Checked();
    if (int i = cmbSameFolderProc.ItemIndex(); i >= 0) ini.SameFolderProc = static_cast<uint8_t>(i);
    ini.AlertAbsExpand = chkAlertAbsExpand.Checked();
    ini.ConfirmIgnore = chkConfirmIgnore.Checked();
    if (OnIgnoreDirectoryChanged) OnIgnoreDirectoryChanged(chkIgnoreDirectory.Checked());
    // After an incomplete load the boxes do not show the shell's state: applying them could remove every
    // association the user has.
    if (loadComplete_) ApplyShell();
    if (auto n = ParseNumber(stBindNum.Text())) ini.BindNum = *n;
    SetModalResult(mrOk);
    Close();
}

void TfrmOption::ApplyShell() {
    if (!chkEnableRightMenu.Checked()) {
        Shell.deleteVelmorPlusKey();
        for (const char* ext :
             {"lzh", "lha", "zip", "cab", "rar", "tar", "tar.gz", "tgz", "gz", "gca", "tar.tar"})
            Shell.DetachExt(ext);
        return;
    }
    int top = topVerbGroup_.Checked();
    Shell.createVelmorPlusKey(top < 0 ? rmtNone : static_cast<TRightMenuTop>(top));
    const std::vector<TExtBox> boxes = ExtBoxes();
    for (const char* ext : {"lzh", "lha", "zip", "gz", "rar", "cab", "tar", "tar.gz", "tgz", "tar.tar"}) {
        for (const TExtBox& e : boxes) {
            if (std::string_view(e.ext) != ext) continue;
            if (!e.shown) continue;  // the hidden "tar.tar" box is not the user's choice
            e.box->Checked() ? Shell.attachExt(ext) : Shell.DetachExt(ext);
        }
    }
}

void TfrmOption::btnCancelClick() {
    SetModalResult(mrCancel);
    Close();
}

void TfrmOption::chkIgnoreDirectoryClick() { chkIgnoredSingleBind.SetEnabled(chkIgnoreDirectory.Checked()); }

void TfrmOption::chkResistSendToClick() { chkConfirmSendTo.SetEnabled(chkResistSendTo.Checked()); }

void TfrmOption::chkEnableRightMenuClick() { switchChkEnable(chkEnableRightMenu.Checked()); }

void TfrmOption::switchChkEnable(bool enabled) {
    for (const TExtBox& e : ExtBoxes()) e.box->SetEnabled(enabled);
    for (TWinControl* c : std::initializer_list<TWinControl*>{
             &grpExt, &grpMenuOrder, &radioVelmorOnly, &radioVelmorTrash, &radioVelmorDelete,
             &radioVelmorPreview, &lstMenuItems, &btnMenuUp, &btnMenuDown, &btnAllOn, &btnAllOff})
        c->SetEnabled(enabled);
}

void TfrmOption::upBindNumClick() { stBindNum.SetText(std::to_string(upBindNum.Position())); }

void TfrmOption::trackBufferSizeChange() { updatelblbuff(); }

void TfrmOption::updatelblbuff() {
    char text[32];
    std::snprintf(text, sizeof text, "%dMB", trackBufferSize.Position());
    lblBuffSize.SetText(text);
}

void TfrmOption::btnAllOnClick() {
    for (const TExtBox& e : ExtBoxes())
        if (e.shown) e.box->SetChecked(true);
}

void TfrmOption::btnAllOffClick() {
    for (const TExtBox& e : ExtBoxes())
        if (e.shown) e.box->SetChecked(false);
}

void TfrmOption::PageControlSettingChange() {}

}  // namespace velmor
