#include "ItemReader.h"

#include "ErrorInfo.h"
#include "Redemption.h"
#include "result.h"
#include "unique.h"

namespace qs::standin {

namespace {

constexpr DATE kOutlookNoDate = 949998.0; // 1 January 4501

// Reads one property converted to `type`; a missing property leaves `value` empty.
HRESULT Read(IDispatch* item, const wchar_t* name, VARTYPE type, VARIANT* value) noexcept {
    const HRESULT hr = GetByName(item, name, value, IID_ISafeMailItem, L"qsMapiLib.SafeMailItem");
    if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND) return S_FALSE;
    QS_RETURN_IF_FAILED(hr);
    return ::VariantChangeType(value, value, 0, type);
}

HRESULT ReadText(IDispatch* item, const wchar_t* name, std::wstring* text) noexcept try {
    unique_variant value;
    const HRESULT hr = Read(item, name, VT_BSTR, value.put());
    QS_RETURN_IF_FAILED(hr);
    if (hr == S_OK) text->assign(value.bstrVal, ::SysStringLen(value.bstrVal));
    return S_OK;
}
QS_CATCH_RETURN()

HRESULT ReadDate(IDispatch* item, const wchar_t* name, DATE* date) noexcept {
    unique_variant value;
    const HRESULT hr = Read(item, name, VT_DATE, value.put());
    QS_RETURN_IF_FAILED(hr);
    if (hr == S_OK && value.date != kOutlookNoDate) *date = value.date;
    return S_OK;
}

std::vector<std::wstring> split(const std::wstring& list) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= list.size() && !list.empty()) {
        size_t end = list.find(L';', start);
        if (end == std::wstring::npos) end = list.size();
        std::wstring part = list.substr(start, end - start);
        const size_t first = part.find_first_not_of(L' ');
        const size_t last = part.find_last_not_of(L' ');
        parts.push_back(first == std::wstring::npos ? L"" : part.substr(first, last - first + 1));
        start = end + 1;
    }
    return parts;
}

} // namespace

HRESULT ReadMessage(IDispatch* item, MessageData* message) noexcept try {
    MessageData read;
    QS_RETURN_IF_FAILED(ReadText(item, L"MessageClass", &read.messageClass));
    QS_RETURN_IF_FAILED(ReadText(item, L"Subject", &read.subject));
    QS_RETURN_IF_FAILED(ReadText(item, L"Body", &read.body));
    QS_RETURN_IF_FAILED(ReadText(item, L"SenderName", &read.senderName));
    QS_RETURN_IF_FAILED(ReadText(item, L"SenderEmailAddress", &read.senderEmailAddress));
    QS_RETURN_IF_FAILED(ReadText(item, L"To", &read.displayTo));
    QS_RETURN_IF_FAILED(ReadDate(item, L"SentOn", &read.submitTime));
    QS_RETURN_IF_FAILED(ReadDate(item, L"ReceivedTime", &read.deliveryTime));
    // The recipient table: display names from To, addresses in the same order.
    std::wstring addresses;
    QS_RETURN_IF_FAILED(ReadText(item, L"RecipientAddresses", &addresses));
    const auto names = split(read.displayTo);
    const auto mailboxes = split(addresses);
    for (size_t i = 0; i < names.size(); ++i)
        read.recipients.push_back({names[i], i < mailboxes.size() ? mailboxes[i] : names[i]});
    if (read.messageClass.empty()) read.messageClass = L"IPM.Note";
    *message = std::move(read);
    return S_OK;
}
QS_CATCH_RETURN()

} // namespace qs::standin
