// The one way both deliverables show a modal message box. Tests replace the
// hook to capture text, title and style instead of waiting for a click.
#pragma once

#include <windows.h>

#include <string>

using MessageBoxHook = int (*)(HWND owner, const std::wstring& text, const std::wstring& title,
                               UINT style);

// Shows a message box (MessageBoxW unless a hook is set) and returns its result.
int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& title,
                   UINT style) noexcept;

// Shows a fixed text even when no memory is left to build another one.
void ShowFixedMessageBox(const wchar_t* text, const wchar_t* title, UINT style) noexcept;

// Replaces the message box; nullptr restores MessageBoxW. Returns the previous hook.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) noexcept;
