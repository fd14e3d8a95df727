// Drives the real qsStowConfig.exe from outside, as a person would: starts it,
// finds its windows, reads its controls and presses its buttons and keys
// through window messages.
#pragma once

#include "unique.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace config_test {

extern const wchar_t kDialogTitle[];

// Polls `done` until it holds; false when it still does not after a generous bound.
bool WaitFor(const std::function<bool()>& done);

std::wstring TextOf(HWND window);

// A message box or other modal window that the program shows.
struct ShownBox {
    HWND window = nullptr;
    std::wstring title;
    std::wstring text; // the message box's message
};

class ConfigProgram {
public:
    ConfigProgram();  // starts the program
    ~ConfigProgram(); // ends it if a test left it running
    ConfigProgram(const ConfigProgram&) = delete;
    ConfigProgram& operator=(const ConfigProgram&) = delete;

    // The settings dialog once it is visible (nullptr if it never shows).
    HWND WaitForDialog();
    HWND Dialog() const { return dialog_; }
    HWND Control(int id) const { return ::GetDlgItem(dialog_, id); }

    // The program's visible top-level dialog windows other than the settings dialog.
    std::vector<HWND> OtherWindows() const;
    // Waits for one of them, e.g. a message box or the folder picker.
    ShownBox WaitForBox();
    // Presses OK on a message box and waits until it has gone.
    void Dismiss(const ShownBox& box);

    bool IsChecked(int id) const;
    bool IsEnabled(int id) const { return ::IsWindowEnabled(Control(id)) != FALSE; }
    std::wstring Text(int id) const { return TextOf(Control(id)); }
    HWND Focus() const;

    void Click(int id);     // a click that returns once handled
    void PostClick(int id); // a click that opens a modal window
    // Posts a key press to the control that has the focus; the caller waits for its effect.
    void PressKey(UINT virtualKey);

    // Waits until the program has ended and returns whether it did.
    bool WaitForExit();
    HANDLE Process() const { return process_.get(); }

private:
    qs::unique_handle process_;
    DWORD processId_ = 0;
    DWORD threadId_ = 0;
    HWND dialog_ = nullptr;
};

} // namespace config_test
