// The settings dialog: switches archiving of incoming and outgoing mail on and
// off, picks their two folders and switches the diagnostic log. It shows the
// values in force when it opens and writes all five back to the user's
// settings key on OK, but for those that a policy sets: their controls are
// locked, with "Set by your administrator" beside them, and OK leaves them be.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "GdiHandles.h"
#include "HeaderBand.h"

class frmConfigSettings {
public:
    // Shows the dialog and returns once it has been closed in any way.
    void Show(HINSTANCE instance) noexcept;

    // Reads the five values in force into the fields, locks the controls of
    // those that a policy sets, and sets the controls from the fields.
    void Load();
    // Writes the settings from the controls to the user's settings key, all
    // but those that a policy sets.
    void Save();

private:
    // One archiving direction's controls, the field that mirrors its switch
    // and the value that holds its folder.
    struct Direction {
        int checkBox, folderLabel, folderField, browseButton;
        short frmConfigSettings::*enabled;
        const wchar_t* folderValue;
    };
    // A folder stored with environment references (REG_EXPAND_SZ, as
    // administrators deploy %USERPROFILE%\...): as stored, and as shown.
    struct ExpandableFolder {
        bool expandable = false;
        std::wstring stored, shown;
    };
    static const Direction kIncoming;
    static const Direction kOutgoing;

    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int controlId, int notification);

    void Form_Load();
    void chkEnabledIn_Click();
    void chkEnabledOut_Click();
    void cmdFolderInBrowse_Click();
    void cmdFolderOutBrowse_Click();
    void txtFolderIn_Change();
    void txtFolderOut_Change();
    void CheckFolderIn();
    void CheckFolderOut();
    void cmdOK_Click();
    void cmdCancel_Click();

    void LockPolicySettings();
    bool IsLocked(const wchar_t* valueName) const;
    void KeepIfExpandable(const wchar_t* valueName, const std::wstring& shown,
                          ExpandableFolder& folder);
    void WriteSwitch(const wchar_t* valueName, int checkBox);
    void WriteFolder(const wchar_t* valueName, const std::wstring& folder,
                     const ExpandableFolder& loaded);
    void ApplyDirectionState(const Direction& direction);
    void BrowseInto(int folderField, const wchar_t* title);
    bool IsChecked(int checkBox) const;
    void SetChecked(int checkBox, bool checked);
    void Enable(int controlId, bool enabled);
    std::wstring ControlText(int controlId) const;
    void Close();

    HINSTANCE instance_ = nullptr;
    HWND hwnd_ = nullptr;
    HeaderBand header_;
    qs::unique_hicon bigIcon_;
    qs::unique_hicon smallIcon_;

    // The dialog's copies of the five settings.
    short EnabledIn = 0;
    short EnabledOut = 0;
    std::wstring FolderIn;
    std::wstring FolderOut;
    short Logging = 0;

    std::vector<std::wstring> locked_; // the values that a policy sets
    ExpandableFolder expandableIn_, expandableOut_;
};
