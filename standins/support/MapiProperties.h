// The MAPI properties the stand-ins answer for by tag, and how Outlook names
// them: PropertyAccessor.GetProperty takes a tag as a schema name in the
// proptag namespace, "http://schemas.microsoft.com/mapi/proptag/0x300B0102"
// (Outlook's "Referencing Properties by Namespace").
#pragma once

#include <windows.h>

#include <cwchar>
#include <string>

namespace qs::standin {

constexpr ULONG kPrSearchKey = 0x300B0102;         // PT_BINARY, kept across moves and copies
constexpr ULONG kPrInternetMessageId = 0x1035001F; // PT_UNICODE, once sent or received
constexpr HRESULT kMapiNotFound = static_cast<HRESULT>(0x8004010F); // MAPI_E_NOT_FOUND
constexpr const wchar_t* kPropTagNamespace = L"http://schemas.microsoft.com/mapi/proptag/";

inline std::wstring PropTagSchemaName(ULONG tag) {
    wchar_t hex[16];
    std::swprintf(hex, 16, L"0x%08lX", tag);
    return kPropTagNamespace + std::wstring(hex);
}

} // namespace qs::standin
