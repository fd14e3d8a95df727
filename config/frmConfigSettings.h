// The settings dialog: switches archiving of incoming and outgoing mail on and
// off, picks their two folders and switches the diagnostic log. It reads the
// settings key when it opens and writes all five values back on OK.
#pragma once

#include <windows.h>

#include <string>

#include "GdiHandles.h"
#include "HeaderBand.h"

class frmConfigSettings {
public:
    // Shows the dialog and returns once it has been closed in any way.
    void Show(HINSTANCE instance) noexcept;

    // Reads the five settings into the fields and sets the controls from them.
    void Load();
    // Writes the five settings from the controls.
    void Save();

private:
    // One archiving direction's controls and the field that mirrors its switch.
    struct Direction {
        int checkBox, folderLabel, folderField, browseButton;
        short frmConfigSettings::*enabled;
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
};
