// The platform's message for a failure code, without its trailing line break;
// a plain "Error 0x…" where the message table has no text for the code.
#pragma once

#include "unique.h"

#include <windows.h>

#include <cwchar>
#include <string>

namespace qs {

inline std::wstring SystemMessage(HRESULT code) {
    unique_hlocal_ptr<wchar_t> buffer;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
    std::wstring text(buffer ? buffer.get() : L"", length);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) {
        wchar_t fallback[40];
        std::swprintf(fallback, 40, L"Error 0x%08lX", static_cast<unsigned long>(code));
        text = fallback;
    }
    return text;
}

} // namespace qs
