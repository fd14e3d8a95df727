// Hands a text out through a BSTR out-parameter.
#pragma once

#include <oleauto.h>

#include <string>

namespace qs::standin {

inline HRESULT ReturnText(const std::wstring& text, BSTR* value) noexcept {
    if (!value) return E_POINTER;
    *value = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *value ? S_OK : E_OUTOFMEMORY;
}

} // namespace qs::standin
