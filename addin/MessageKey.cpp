#include "MessageKey.h"

#include "LateBound.h"
#include "unique.h"

#include <cstdio>
#include <functional>
#include <wrl/client.h>

namespace {

using ReadTag = std::function<void(long tag, qs::unique_variant& value)>;

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

// The key from whatever reads a property by tag; a property it cannot read is empty.
std::wstring KeyFrom(const ReadTag& read) {
    qs::unique_variant value;
    read(kTagSearchKey, value);
    std::wstring key;
    if (value.vt == (VT_ARRAY | VT_UI1)) key = Hex(value.parray);
    if (!key.empty()) return L"S:" + key;
    read(kTagInternetMessageId, value);
    key = Text(value);
    return key.empty() ? key : L"M:" + key;
}

} // namespace

std::wstring ItemMessageKey(IDispatch* item) noexcept try {
    CallFailure ignored;
    qs::unique_variant accessor;
    if (FAILED(InvokeByName(item, L"PropertyAccessor", DISPATCH_PROPERTYGET, nullptr, 0,
                            accessor.put(), ignored)) ||
        accessor.vt != VT_DISPATCH || !accessor.pdispVal) {
        ::SetErrorInfo(0, nullptr);
        return {};
    }
    const std::wstring key = KeyFrom([&accessor](long tag, qs::unique_variant& value) {
        wchar_t schema[64];
        std::swprintf(schema, 64, L"http://schemas.microsoft.com/mapi/proptag/0x%08lX",
                      static_cast<unsigned long>(tag));
        const qs::unique_bstr name(::SysAllocString(schema));
        VARIANT argument;
        argument.vt = VT_BSTR;
        argument.bstrVal = name.get();
        CallFailure missing;
        if (!name || FAILED(InvokeByName(accessor.pdispVal, L"GetProperty", DISPATCH_METHOD,
                                         &argument, 1, value.put(), missing)))
            value.reset();
    });
    // A property the message does not have is an error, of no interest to anyone.
    ::SetErrorInfo(0, nullptr);
    return key;
} catch (...) {
    return {};
}

std::wstring WrapperMessageKey(IDispatch* wrapper, IDispatch* item) noexcept try {
    std::wstring key = KeyFrom([wrapper](long tag, qs::unique_variant& value) {
        VARIANT argument;
        argument.vt = VT_I4;
        argument.lVal = tag;
        CallFailure ignored;
        if (FAILED(InvokeByName(wrapper, L"Fields", DISPATCH_PROPERTYGET, &argument, 1, value.put(),
                                ignored)))
            value.reset();
    });
    CallFailure ignored;
    if (key.empty() && SUCCEEDED(GetTextProperty(item, L"EntryID", key, ignored)) && !key.empty())
        key = L"E:" + key;
    ::SetErrorInfo(0, nullptr);
    return key;
} catch (...) {
    return {};
}
