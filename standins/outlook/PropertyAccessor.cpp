#include "PropertyAccessor.h"

#include "ErrorInfo.h"
#include "MapiProperties.h"
#include "Text.h"
#include "result.h"
#include "unique.h"

#include <cstring>
#include <cwchar>

namespace qs::standin {

namespace {

// The tag of a name in the proptag namespace ("...proptag/0x300B0102"); 0 for any other name.
ULONG TagOf(const std::wstring& schemaName) {
    const std::wstring prefix = std::wstring(kPropTagNamespace) + L"0x";
    if (schemaName.size() != prefix.size() + 8 ||
        ::_wcsnicmp(schemaName.c_str(), prefix.c_str(), prefix.size()) != 0)
        return 0;
    const wchar_t* digits = schemaName.c_str() + prefix.size();
    wchar_t* end = nullptr;
    const unsigned long tag = std::wcstoul(digits, &end, 16);
    return end == digits + 8 ? tag : 0;
}

// PT_BINARY comes back as Outlook's GetProperty gives it: an array of bytes.
HRESULT ReturnBytes(const SearchKey& bytes, VARIANT* value) noexcept {
    unique_safearray array(::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size())));
    QS_RETURN_IF_NULL_ALLOC(array.get());
    void* data = nullptr;
    QS_RETURN_IF_FAILED(::SafeArrayAccessData(array.get(), &data));
    std::memcpy(data, bytes.data(), bytes.size());
    QS_RETURN_IF_FAILED(::SafeArrayUnaccessData(array.get()));
    value->vt = VT_ARRAY | VT_UI1;
    value->parray = array.release();
    return S_OK;
}

} // namespace

HRESULT PropertyAccessor::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID__PropertyAccessor ? S_OK : S_FALSE;
}

HRESULT PropertyAccessor::GetProperty(BSTR schemaName, VARIANT* value) try {
    if (!value) return E_POINTER;
    ::VariantInit(value);
    const std::wstring name(schemaName ? schemaName : L"", ::SysStringLen(schemaName));
    const ULONG tag = TagOf(name);
    if (tag == kPrSearchKey) return ReturnBytes(searchKey_, value);
    if (tag == kPrInternetMessageId && !internetMessageId_.empty()) {
        value->vt = VT_BSTR;
        return ReturnText(internetMessageId_, &value->bstrVal);
    }
    // Outlook's "Getting the Value of a Property": GetProperty returns an error
    // when the property does not exist; Outlook raises MAPI_E_NOT_FOUND, thus described.
    return SetError(kMapiNotFound, IID__PropertyAccessor, L"Outlook",
                    L"The property \"" + name + L"\" is unknown or cannot be found.");
}
QS_CATCH_RETURN()

} // namespace qs::standin
