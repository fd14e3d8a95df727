#include "MessageItem.h"

#include "ErrorInfo.h"
#include "result.h"
#include "unique.h"

namespace qs::standin {

namespace {
constexpr const wchar_t* source = L"qsMapiLib.MessageItem";
}

HRESULT MessageItem::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID__MessageItem ? S_OK : S_FALSE;
}

HRESULT MessageItem::read(const wchar_t* name, VARTYPE type, VARIANT* value) noexcept {
    QS_RETURN_IF_FAILED(get_by_name(hostItem_.Get(), name, value, IID__MessageItem, source));
    return ::VariantChangeType(value, value, 0, type);
}

HRESULT MessageItem::read_text(const wchar_t* name, BSTR* value) noexcept {
    if (!value) return E_POINTER;
    *value = nullptr;
    unique_variant text;
    QS_RETURN_IF_FAILED(read(name, VT_BSTR, text.put()));
    *value = text.release().bstrVal;
    return S_OK;
}

HRESULT MessageItem::read_date(const wchar_t* name, DATE* value) noexcept {
    if (!value) return E_POINTER;
    unique_variant date;
    QS_RETURN_IF_FAILED(read(name, VT_DATE, date.put()));
    *value = date.date;
    return S_OK;
}

HRESULT MessageItem::get_Class(long* value) {
    if (!value) return E_POINTER;
    unique_variant number;
    QS_RETURN_IF_FAILED(read(L"Class", VT_I4, number.put()));
    *value = number.lVal;
    return S_OK;
}

HRESULT MessageItem::get_MessageClass(BSTR* value) {
    return read_text(L"MessageClass", value);
}
HRESULT MessageItem::get_Subject(BSTR* value) {
    return read_text(L"Subject", value);
}
HRESULT MessageItem::get_Body(BSTR* value) {
    return read_text(L"Body", value);
}
HRESULT MessageItem::get_SenderName(BSTR* value) {
    return read_text(L"SenderName", value);
}
HRESULT MessageItem::get_SenderEmailAddress(BSTR* value) {
    return read_text(L"SenderEmailAddress", value);
}
HRESULT MessageItem::get_To(BSTR* value) {
    return read_text(L"To", value);
}
HRESULT MessageItem::get_SentOn(DATE* value) {
    return read_date(L"SentOn", value);
}
HRESULT MessageItem::get_ReceivedTime(DATE* value) {
    return read_date(L"ReceivedTime", value);
}
HRESULT MessageItem::get_RecipientAddresses(BSTR* value) {
    return read_text(L"RecipientAddresses", value);
}

HRESULT MessageItem::Save() {
    return call_by_name(hostItem_.Get(), L"Save", IID__MessageItem, source);
}

} // namespace qs::standin
