#include "MessageItem.h"

#include "ErrorInfo.h"
#include "result.h"
#include "unique.h"

namespace qs::standin {

namespace {
constexpr const wchar_t* kSource = L"qsMapiLib.MessageItem";
}

HRESULT MessageItem::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID__MessageItem ? S_OK : S_FALSE;
}

HRESULT MessageItem::Read(const wchar_t* name, VARTYPE type, VARIANT* value) noexcept {
    QS_RETURN_IF_FAILED(GetByName(hostItem_.Get(), name, value, IID__MessageItem, kSource));
    return ::VariantChangeType(value, value, 0, type);
}

HRESULT MessageItem::ReadText(const wchar_t* name, BSTR* value) noexcept {
    if (!value) return E_POINTER;
    *value = nullptr;
    unique_variant text;
    QS_RETURN_IF_FAILED(Read(name, VT_BSTR, text.put()));
    *value = text.release().bstrVal;
    return S_OK;
}

HRESULT MessageItem::ReadDate(const wchar_t* name, DATE* value) noexcept {
    if (!value) return E_POINTER;
    unique_variant date;
    QS_RETURN_IF_FAILED(Read(name, VT_DATE, date.put()));
    *value = date.date;
    return S_OK;
}

HRESULT MessageItem::get_Class(long* value) {
    if (!value) return E_POINTER;
    unique_variant number;
    QS_RETURN_IF_FAILED(Read(L"Class", VT_I4, number.put()));
    *value = number.lVal;
    return S_OK;
}

HRESULT MessageItem::get_MessageClass(BSTR* value) {
    return ReadText(L"MessageClass", value);
}
HRESULT MessageItem::get_Subject(BSTR* value) {
    return ReadText(L"Subject", value);
}
HRESULT MessageItem::get_Body(BSTR* value) {
    return ReadText(L"Body", value);
}
HRESULT MessageItem::get_SenderName(BSTR* value) {
    return ReadText(L"SenderName", value);
}
HRESULT MessageItem::get_SenderEmailAddress(BSTR* value) {
    return ReadText(L"SenderEmailAddress", value);
}
HRESULT MessageItem::get_To(BSTR* value) {
    return ReadText(L"To", value);
}
HRESULT MessageItem::get_SentOn(DATE* value) {
    return ReadDate(L"SentOn", value);
}
HRESULT MessageItem::get_ReceivedTime(DATE* value) {
    return ReadDate(L"ReceivedTime", value);
}
HRESULT MessageItem::get_RecipientAddresses(BSTR* value) {
    return ReadText(L"RecipientAddresses", value);
}

HRESULT MessageItem::get_MAPIOBJECT(IUnknown** value) {
    if (!value) return E_POINTER;
    *value = nullptr;
    unique_variant message;
    QS_RETURN_IF_FAILED(Read(L"MAPIOBJECT", VT_UNKNOWN, message.put()));
    *value = message.release().punkVal;
    return S_OK;
}

HRESULT MessageItem::Save() {
    return CallByName(hostItem_.Get(), L"Save", IID__MessageItem, kSource);
}

} // namespace qs::standin
