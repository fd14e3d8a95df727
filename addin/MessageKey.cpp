#include "MessageKey.h"

#include "LateBound.h"
#include "unique.h"

namespace {

// A property the wrapper cannot read leaves `value` empty.
void Field(IDispatch* wrapper, long tag, qs::unique_variant& value) noexcept {
    VARIANT argument;
    argument.vt = VT_I4;
    argument.lVal = tag;
    CallFailure ignored;
    if (FAILED(InvokeByName(wrapper, L"Fields", DISPATCH_PROPERTYGET, &argument, 1, value.put(),
                            ignored)))
        value.reset();
}

std::wstring Hex(SAFEARRAY* bytes) {
    std::wstring text;
    void* data = nullptr;
    if (!bytes || ::SafeArrayGetDim(bytes) != 1 || FAILED(::SafeArrayAccessData(bytes, &data)))
        return text;
    const ULONG count = bytes->rgsabound[0].cElements;
    static const wchar_t digits[] = L"0123456789ABCDEF";
    for (ULONG i = 0; i < count; ++i) {
        const BYTE byte = static_cast<const BYTE*>(data)[i];
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    ::SafeArrayUnaccessData(bytes);
    return text;
}

std::wstring Text(const VARIANT& value) {
    return value.vt == VT_BSTR && value.bstrVal
               ? std::wstring(value.bstrVal, ::SysStringLen(value.bstrVal))
               : std::wstring();
}

} // namespace

std::wstring MessageKey(IDispatch* wrapper, IDispatch* item) noexcept try {
    std::wstring key;
    qs::unique_variant value;
    Field(wrapper, kTagSearchKey, value);
    if (value.vt == (VT_ARRAY | VT_UI1)) key = Hex(value.parray);
    if (!key.empty()) return L"S:" + key;
    Field(wrapper, kTagInternetMessageId, value);
    key = Text(value);
    if (!key.empty()) return L"M:" + key;
    CallFailure ignored;
    if (SUCCEEDED(GetTextProperty(item, L"EntryID", key, ignored)) && !key.empty())
        return L"E:" + key;
    return {};
} catch (...) {
    return {};
}
