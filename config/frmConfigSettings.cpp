#include "frmConfigSettings.h"

#include "BrowseFolder.h"
#include "RegistryCmds.h"
#include "UserMessage.h"
#include "WindowText.h"
#include "frmConfigSettingsLayout.h"
#include "resource.h"

#include <algorithm>

namespace {

const wchar_t kRestartMessage[] =
    L"If Outlook is currently running, please restart Outlook now to reload the new Configuration.";
const wchar_t kProductName[] = L"" QS_CONFIG_PRODUCT_NAME;

// A setting that a policy may set: the control that would change it, and
// the note that stands beside that control while a policy sets it.
struct Lockable {
    const wchar_t* valueName;
    int control, note;
};
constexpr Lockable kLockables[] = {
    {L"EnabledIn", IDC_chkEnabledIn, IDC_lblEnabledInPolicy},
    {L"FolderIn", IDC_cmdFolderInBrowse, IDC_lblFolderInPolicy},
    {L"EnabledOut", IDC_chkEnabledOut, IDC_lblEnabledOutPolicy},
    {L"FolderOut", IDC_cmdFolderOutBrowse, IDC_lblFolderOutPolicy},
    {L"Logging", IDC_chkLogging, IDC_lblLoggingPolicy},
};

qs::unique_hicon LoadApplicationIcon(HINSTANCE instance, int metricX, int metricY) noexcept {
    return qs::unique_hicon(static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON,
                     ::GetSystemMetrics(metricX), ::GetSystemMetrics(metricY), 0)));
}

} // namespace

const frmConfigSettings::Direction frmConfigSettings::kIncoming{IDC_chkEnabledIn,
                                                                IDC_lblFolderIn,
                                                                IDC_txtFolderIn,
                                                                IDC_cmdFolderInBrowse,
                                                                &frmConfigSettings::EnabledIn,
                                                                L"FolderIn"};
const frmConfigSettings::Direction frmConfigSettings::kOutgoing{IDC_chkEnabledOut,
                                                                IDC_lblFolderOut,
                                                                IDC_txtFolderOut,
                                                                IDC_cmdFolderOutBrowse,
                                                                &frmConfigSettings::EnabledOut,
                                                                L"FolderOut"};

void frmConfigSettings::Show(HINSTANCE instance) noexcept {
    instance_ = instance;
    ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_frmConfigSettings), nullptr, DialogProc,
                      reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK frmConfigSettings::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                               LPARAM lParam) noexcept {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<frmConfigSettings*>(lParam)->hwnd_ = dialog;
    }
    auto* form = reinterpret_cast<frmConfigSettings*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    if (!form) return FALSE;
    try {
        return form->OnMessage(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the window manager; the message counts as unhandled.
        return FALSE;
    }
}

INT_PTR frmConfigSettings::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        Form_Load();
        return TRUE; // the focus goes to the first tab stop, chkEnabledIn
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (!HeaderBand::IsPartOfHeader(item.CtlID)) return FALSE;
        header_.Paint(hwnd_, item);
        return TRUE;
    }
    case WM_CLOSE: // the close box
        Close();
        return TRUE;
    default:
        return FALSE;
    }
}

void frmConfigSettings::OnCommand(int controlId, int notification) {
    switch (controlId) {
    case IDC_chkEnabledIn:
        if (notification == BN_CLICKED) chkEnabledIn_Click();
        break;
    case IDC_chkEnabledOut:
        if (notification == BN_CLICKED) chkEnabledOut_Click();
        break;
    case IDC_cmdFolderInBrowse:
        if (notification == BN_CLICKED) cmdFolderInBrowse_Click();
        break;
    case IDC_cmdFolderOutBrowse:
        if (notification == BN_CLICKED) cmdFolderOutBrowse_Click();
        break;
    case IDC_txtFolderIn:
        if (notification == EN_CHANGE) txtFolderIn_Change();
        break;
    case IDC_txtFolderOut:
        if (notification == EN_CHANGE) txtFolderOut_Change();
        break;
    case IDC_cmdOK: // also Enter
        cmdOK_Click();
        break;
    case IDC_cmdCancel: // also Escape
        cmdCancel_Click();
        break;
    default:
        break;
    }
}

void frmConfigSettings::Form_Load() {
    ApplyTwipLayout(hwnd_, kConfigSettingsLayout);
    header_.Create(instance_, hwnd_);
    bigIcon_ = LoadApplicationIcon(instance_, SM_CXICON, SM_CYICON);
    smallIcon_ = LoadApplicationIcon(instance_, SM_CXSMICON, SM_CYSMICON);
    ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
    ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    Load();
}

void frmConfigSettings::Load() {
    LockPolicySettings();

    // Silent reads of the values in force: a missing key or value leaves the
    // field as it is. Only a value that does not fit its field is reported,
    // by GetSettingValue itself.
    GetSettingValue(L"EnabledIn", kRegNumber, EnabledIn, false);
    GetSettingValue(L"EnabledOut", kRegNumber, EnabledOut, false);
    GetSettingValue(L"FolderIn", kRegText, FolderIn, false);
    GetSettingValue(L"FolderOut", kRegText, FolderOut, false);
    KeepIfExpandable(L"FolderIn", FolderIn, expandableIn_);
    KeepIfExpandable(L"FolderOut", FolderOut, expandableOut_);

    SetChecked(IDC_chkEnabledIn, EnabledIn > 0);
    ::SetDlgItemTextW(hwnd_, IDC_txtFolderIn, FolderIn.c_str());
    chkEnabledIn_Click();

    SetChecked(IDC_chkEnabledOut, EnabledOut > 0);
    ::SetDlgItemTextW(hwnd_, IDC_txtFolderOut, FolderOut.c_str());
    chkEnabledOut_Click();

    GetSettingValue(L"Logging", kRegNumber, Logging, false);
    SetChecked(IDC_chkLogging, Logging > 0);
}

void frmConfigSettings::Save() {
    // Every write is attempted but those of the values that a policy sets,
    // which stay as they are (the user's own value among them). SetRegValue
    // reports its own failures.
    WriteSwitch(L"EnabledIn", IDC_chkEnabledIn);
    WriteSwitch(L"EnabledOut", IDC_chkEnabledOut);
    FolderIn = ControlText(IDC_txtFolderIn);
    FolderOut = ControlText(IDC_txtFolderOut);
    WriteFolder(L"FolderIn", FolderIn, expandableIn_);
    WriteFolder(L"FolderOut", FolderOut, expandableOut_);
    WriteSwitch(L"Logging", IDC_chkLogging);
}

// A value that a policy sets cannot be changed here: its control is disabled
// and "Set by your administrator" shown beside it, the control narrowed where
// it would reach under the note.
void frmConfigSettings::LockPolicySettings() {
    for (const Lockable& lockable : kLockables) {
        if (!IsSetByPolicy(lockable.valueName)) continue;
        locked_.emplace_back(lockable.valueName);
        Enable(lockable.control, false);
        PlaceTwipControl(hwnd_, kLockedControlsLayout, lockable.control);
        ::ShowWindow(::GetDlgItem(hwnd_, lockable.note), SW_SHOWNA);
    }
}

bool frmConfigSettings::IsLocked(const wchar_t* valueName) const {
    return std::find(locked_.begin(), locked_.end(), valueName) != locked_.end();
}

// Remembers a folder stored with environment references, as stored and as
// the field shows it expanded, so that OK can write it back as it was.
void frmConfigSettings::KeepIfExpandable(const wchar_t* valueName, const std::wstring& shown,
                                         ExpandableFolder& folder) {
    folder.expandable = ReadExpandableSetting(valueName, folder.stored);
    folder.shown = shown;
}

void frmConfigSettings::WriteSwitch(const wchar_t* valueName, int checkBox) {
    if (IsLocked(valueName)) return;
    SetRegValue(valueName, kRegNumber, IsChecked(checkBox) ? 1L : 0L);
}

// A folder stored with environment references goes back as it was stored for
// as long as its field shows it; any other as the plain text the field shows.
void frmConfigSettings::WriteFolder(const wchar_t* valueName, const std::wstring& folder,
                                    const ExpandableFolder& loaded) {
    if (IsLocked(valueName)) return;
    if (loaded.expandable && folder == loaded.shown)
        SetRegExpandValue(valueName, loaded.stored);
    else
        SetRegValue(valueName, kRegText, folder);
}

void frmConfigSettings::chkEnabledIn_Click() {
    ApplyDirectionState(kIncoming);
    if (EnabledIn != 0)
        CheckFolderIn();
    else
        Enable(IDC_cmdOK, true);
}

void frmConfigSettings::chkEnabledOut_Click() {
    ApplyDirectionState(kOutgoing);
    if (EnabledOut != 0)
        CheckFolderOut();
    else
        Enable(IDC_cmdOK, true);
}

// On: label and "..." enabled ("..." not while a policy sets the folder).
// Off: both disabled. The folder field is never enabled, so it takes neither
// focus nor typing, and it keeps its text.
void frmConfigSettings::ApplyDirectionState(const Direction& direction) {
    const bool on = IsChecked(direction.checkBox);
    this->*direction.enabled = on ? 1 : 0;
    Enable(direction.folderLabel, on);
    Enable(direction.folderField, false);
    Enable(direction.browseButton, on && !IsLocked(direction.folderValue));
}

void frmConfigSettings::cmdFolderInBrowse_Click() {
    BrowseInto(IDC_txtFolderIn, L"Select Folder for incoming Messages");
}

void frmConfigSettings::cmdFolderOutBrowse_Click() {
    BrowseInto(IDC_txtFolderOut, L"Select Folder for outgoing Messages");
}

// A cancelled or failed pick keeps the folder shown: emptying the field would
// lose the configured folder on the next OK.
void frmConfigSettings::BrowseInto(int folderField, const wchar_t* title) {
    const std::wstring folder = BrowseForFolder(hwnd_, title);
    if (!folder.empty()) ::SetDlgItemTextW(hwnd_, folderField, folder.c_str());
}

void frmConfigSettings::txtFolderIn_Change() {
    CheckFolderIn();
}
void frmConfigSettings::txtFolderOut_Change() {
    CheckFolderOut();
}

// Any folder, even none, is accepted: OK stays available at all times.
void frmConfigSettings::CheckFolderIn() {
    Enable(IDC_cmdOK, true);
}
void frmConfigSettings::CheckFolderOut() {
    Enable(IDC_cmdOK, true);
}

void frmConfigSettings::cmdOK_Click() {
    // SetRegValue's failure reports have no owner window: keep the dialog from
    // taking a second click on OK while one of them is open.
    ::EnableWindow(hwnd_, FALSE);
    Save();
    ::EnableWindow(hwnd_, TRUE);
    // The add-in reads its settings only when Outlook connects it.
    ShowMessageBox(hwnd_, kRestartMessage, kProductName, MB_OK | MB_ICONINFORMATION);
    Close();
}

void frmConfigSettings::cmdCancel_Click() {
    Close();
}

void frmConfigSettings::Close() {
    ::EndDialog(hwnd_, 0);
}

bool frmConfigSettings::IsChecked(int checkBox) const {
    return ::IsDlgButtonChecked(hwnd_, checkBox) == BST_CHECKED;
}

void frmConfigSettings::SetChecked(int checkBox, bool checked) {
    ::CheckDlgButton(hwnd_, checkBox, checked ? BST_CHECKED : BST_UNCHECKED);
}

void frmConfigSettings::Enable(int controlId, bool enabled) {
    ::EnableWindow(::GetDlgItem(hwnd_, controlId), enabled ? TRUE : FALSE);
}

std::wstring frmConfigSettings::ControlText(int controlId) const {
    return WindowText(::GetDlgItem(hwnd_, controlId));
}
