// The options window "動作と関連付けの設定": four pages of extraction, notification and security settings and
// the program's shell integration. Showing it loads the controls from the global settings record and the live
// shell state; OK writes them back and applies the shell changes at once; Cancel keeps nothing. The settings
// file itself is written by the main window when it closes.
//
// Use: construct, Create(owner) once, then ShowModal() as often as needed (mrOk or mrCancel).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/shell_integration.h"
#include "platform/controls.h"
#include "platform/dialog_support.h"
#include "platform/form.h"
#include "platform/range_controls.h"

namespace velmor {

class TfrmOption : public platform::TForm {
public:
    TfrmOption();
    using platform::TForm::Create;

    // Set by OK with the state of `chkIgnoreDirectory`; the main window mirrors it in its own check box.
    std::function<void(bool ignoreDirectory)> OnIgnoreDirectoryChanged;
    // The shell integration the dialog drives (program path and title are filled in when the form is
    // created).
    TShellIntegration Shell;

    // Handlers.
    void FormCreate();
    void FormShow();
    void btnOKClick();
    void btnCancelClick();
    void chkIgnoreDirectoryClick();
    void chkResistSendToClick();
    void chkEnableRightMenuClick();
    void switchChkEnable(bool enabled);
    void upBindNumClick();
    void trackBufferSizeChange();
    void updatelblbuff();
    void btnAllOnClick();
    void btnAllOffClick();
    void PageControlSettingChange();

    // Whether the last showing loaded every control; shell changes are applied only after a complete load.
    bool LoadComplete() const noexcept { return loadComplete_; }

    platform::TTabControl PageControlSetting;
    platform::TButton btnOK, btnCancel;
    platform::THint Hint;

    // "■全般"
    platform::TGroupBox grpSecurity;
    platform::TCheckBox chkAlertAbsExpand, chkCheckDangerPath;
    platform::TLabel lblDangerNote;

    // "■解凍の設定"
    platform::TGroupBox grpBind;
    platform::TCheckBox chkBindFolder;
    platform::TEdit stBindNum;
    platform::TUpDown upBindNum;
    platform::TLabel lblBindTail;
    platform::TCheckBox chkDelFolderNum;
    platform::TLabel lblDelFolderNote, lblSameFolder;
    platform::TComboBox cmbSameFolderProc;
    platform::TCheckBox chkIgnoreDirectory, chkIgnoredSingleBind;
    platform::TGroupBox grpOverWrite;
    platform::TRadioButton rbtnConfirm, rbtnOverWrite, rbtnSkip, rbtnIfNew;
    platform::TGroupBox grpMoveOverWrite;
    platform::TRadioButton rbtnMoveConfirm, rbtnMoveOverwrite, rbtnMoveSkip, rbtnMoveGenNummed;
    platform::TGroupBox grpBuffer;
    platform::TTrackBar trackBufferSize;
    platform::TLabel lblBuffSize;
    platform::TCheckBox chkBufferAuto;
    platform::TCheckBox chkCheckDiv;
    platform::TCheckBox chkNoDoubleFolder;

    // "■通知の設定"
    platform::TGroupBox grpNotice;
    platform::TCheckBox chkEndDlg, CheckBox1, chkConfirmIgnore, chkConfirmDelete;
    platform::TGroupBox grpSendTo;
    platform::TLabel lblConfirmSendTo;
    platform::TCheckBox chkConfirmSendTo;

    // "■関連付け"
    platform::TGroupBox grpShortcut;
    platform::TCheckBox chkResistSendTo, chkResistStartMenu;
    platform::TGroupBox grpRightMenu;
    platform::TCheckBox chkEnableRightMenu;
    platform::TGroupBox grpExt;
    platform::TCheckBox chkLzh, chkLha, chkZip, chkRar, chkCab, chkTar, chkTarGz, chkTgz, chkGz, chkTarTar,
        chkGCA;
    platform::TButton btnAllOn, btnAllOff;
    platform::TGroupBox grpMenuOrder;
    platform::TLabel lblMenuOrder;
    platform::TRadioButton radioVelmorOnly, radioVelmorTrash, radioVelmorDelete, radioVelmorPreview;

    // Present but without effect, kept hidden.
    platform::TGroupBox grpPriority;
    platform::TCheckBox chkMultiInstance, chkAutoExtract;
    platform::TComboBox lstAutoFolders;
    platform::TComboBox lstMenuItems;
    platform::TButton btnMenuUp, btnMenuDown;

private:
    struct TExtBox {
        platform::TCheckBox* box;
        const char* ext;
        bool shown;  // hidden boxes are spared by the all-on/all-off buttons and "tar.tar" by OK
    };
    std::vector<TExtBox> ExtBoxes();
    void BuildControls();
    void ApplyShell();

    platform::TRadioGroup overWriteGroup_{&rbtnConfirm, &rbtnOverWrite, &rbtnSkip, &rbtnIfNew};
    platform::TRadioGroup moveGroup_{&rbtnMoveConfirm, &rbtnMoveOverwrite, &rbtnMoveSkip, &rbtnMoveGenNummed};
    platform::TRadioGroup topVerbGroup_{&radioVelmorOnly, &radioVelmorTrash, &radioVelmorDelete,
                                        &radioVelmorPreview};
    bool loadComplete_ = false;
};

}  // namespace velmor
