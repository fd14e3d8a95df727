#include "SafeMailItem.h"

#include "ErrorInfo.h"
#include "Faults.h"
#include "FileWriter.h"
#include "ItemReader.h"
#include "MapiProperties.h"
#include "MsgWriter.h"
#include "result.h"
#include "unique.h"

#include <string>

namespace qs::standin {

namespace {

constexpr const wchar_t* kSource = L"qsMapiLib.SafeMailItem";
constexpr long olMSG = 3;
constexpr long olMSGUnicode = 9;

const wchar_t* kInjected = L"Injected failure of ";

} // namespace

HRESULT SafeMailItem::Create(REFIID iid, void** object) noexcept try {
    *object = nullptr;
    if (TakeFailure(MapiOperation::Wrapper))
        return SetError(E_FAIL, IID_ISafeMailItem, kSource,
                        std::wstring(kInjected) + L"creating a SafeMailItem.");
    return MakeObject<SafeMailItem>()->QueryInterface(iid, object);
}
QS_CATCH_RETURN()

HRESULT SafeMailItem::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID_ISafeMailItem ? S_OK : S_FALSE;
}

HRESULT SafeMailItem::Fail(HRESULT failure, const std::wstring& description) const noexcept {
    return SetError(failure, IID_ISafeMailItem, kSource, description);
}

HRESULT SafeMailItem::RequireItem() const noexcept {
    return item_ ? S_OK : Fail(OLE_E_BLANK, L"No item is set: set the Item property first.");
}

HRESULT SafeMailItem::get_Item(IDispatch** value) {
    if (!value) return E_POINTER;
    *value = nullptr;
    return item_.CopyTo(value);
}

HRESULT SafeMailItem::put_Item(IDispatch* value) try {
    if (TakeFailure(MapiOperation::Item))
        return Fail(E_FAIL, std::wstring(kInjected) + L"setting Item.");
    item_ = value;
    return S_OK;
}
QS_CATCH_RETURN()

HRESULT SafeMailItem::putref_Item(IDispatch* value) {
    return put_Item(value);
}

HRESULT SafeMailItem::get_Subject(BSTR* value) try {
    if (!value) return E_POINTER;
    *value = nullptr;
    if (TakeFailure(MapiOperation::Subject))
        return Fail(E_FAIL, std::wstring(kInjected) + L"reading Subject.");
    QS_RETURN_IF_FAILED(RequireItem());
    unique_variant subject;
    QS_RETURN_IF_FAILED(
        GetByName(item_.Get(), L"Subject", subject.put(), IID_ISafeMailItem, kSource));
    QS_RETURN_IF_FAILED(::VariantChangeType(&subject, &subject, 0, VT_BSTR));
    *value = subject.release().bstrVal;
    return S_OK;
}
QS_CATCH_RETURN()

HRESULT SafeMailItem::SaveAs(VARIANT path, VARIANT type) try {
    // Outlook's own save may pump messages, and the host go on meanwhile.
    TakeCall(MapiOperation::SaveAs);
    if (TakeFailure(MapiOperation::SaveAs))
        return Fail(E_FAIL, std::wstring(kInjected) + L"SaveAs.");
    QS_RETURN_IF_FAILED(RequireItem());

    // Both arguments may come by value or by reference, as any variant type
    // that converts: a 16- or 32-bit format code, a text path.
    unique_variant pathText;
    if (FAILED(::VariantChangeType(&pathText, &path, 0, VT_BSTR)))
        return Fail(DISP_E_TYPEMISMATCH, L"The path must be a text.");
    long format = olMSG;
    const bool typeMissing = type.vt == VT_ERROR && type.scode == DISP_E_PARAMNOTFOUND;
    if (!typeMissing) {
        unique_variant code;
        if (FAILED(::VariantChangeType(&code, &type, 0, VT_I4)))
            return Fail(DISP_E_TYPEMISMATCH,
                        L"The format must be a number: 3 (olMSG) or 9 (olMSGUnicode).");
        format = code.lVal;
    }
    if (format != olMSG && format != olMSGUnicode)
        return Fail(E_INVALIDARG, L"The format " + std::to_wstring(format) +
                                      L" is not supported: use 3 (olMSG) or 9 (olMSGUnicode).");

    const std::wstring target(pathText.bstrVal, ::SysStringLen(pathText.bstrVal));
    std::wstring problem;
    HRESULT hr = CheckPath(target, &problem);
    if (FAILED(hr)) return Fail(hr, problem);

    MessageData message;
    QS_RETURN_IF_FAILED(ReadMessage(item_.Get(), &message));
    std::vector<BYTE> file;
    hr = BuildMsg(message, format == olMSGUnicode ? MsgFormat::Unicode : MsgFormat::Ansi, &file);
    if (FAILED(hr)) return Fail(hr, L"Cannot build the message file: " + SystemMessage(hr));
    hr = WriteFile(target, file, &problem);
    return FAILED(hr) ? Fail(hr, problem) : S_OK;
}
QS_CATCH_RETURN()

// The library reads the property from the item's MAPI message (its hidden
// MAPIOBJECT, there on every Outlook version); a property the item does not
// have is Empty, not a failure.
HRESULT SafeMailItem::get_Fields(long propTag, VARIANT* value) try {
    if (!value) return E_POINTER;
    ::VariantInit(value);
    QS_RETURN_IF_FAILED(RequireItem());
    unique_variant accessor;
    QS_RETURN_IF_FAILED(
        GetByName(item_.Get(), L"MAPIOBJECT", accessor.put(), IID_ISafeMailItem, kSource));
    QS_RETURN_IF_FAILED(::VariantChangeType(&accessor, &accessor, 0, VT_DISPATCH));
    if (!accessor.pdispVal) return Fail(E_NOINTERFACE, L"The item has no MAPI message.");
    unique_bstr schemaName(
        ::SysAllocString(PropTagSchemaName(static_cast<ULONG>(propTag)).c_str()));
    QS_RETURN_IF_NULL_ALLOC(schemaName.get());
    VARIANT arg;
    arg.vt = VT_BSTR;
    arg.bstrVal = schemaName.get();
    const HRESULT hr =
        CallByName(accessor.pdispVal, L"GetProperty", IID_ISafeMailItem, kSource, &arg, 1, value);
    if (hr != kMapiNotFound) return hr;
    ::SetErrorInfo(0, nullptr);
    return S_OK;
}
QS_CATCH_RETURN()

} // namespace qs::standin
