#include "UserMessage.h"

namespace {

MessageBoxHook g_hook = nullptr;

} // namespace

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& title,
                   UINT style) noexcept {
    if (g_hook) return g_hook(owner, text, title, style);
    return ::MessageBoxW(owner, text.c_str(), title.c_str(), style);
}

void ShowFixedMessageBox(const wchar_t* text, const wchar_t* title, UINT style) noexcept {
    try {
        ShowMessageBox(nullptr, text, title, style);
    } catch (...) {
        // The hook's texts could not be made: the platform's box needs none.
        ::MessageBoxW(nullptr, text, title, style);
    }
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) noexcept {
    MessageBoxHook previous = g_hook;
    g_hook = hook;
    return previous;
}
