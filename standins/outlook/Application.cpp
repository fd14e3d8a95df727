#include "Application.h"

#include "ErrorInfo.h"
#include "Text.h"
#include "result.h"
#include "unique.h"

namespace qs::standin {

namespace {

constexpr DISPID kDispidItemSend = 0xF002;
constexpr DISPID kDispidNewMail = 0xF003;
constexpr DISPID kDispidStartup = 0xF006;
constexpr DISPID kDispidQuit = 0xF007;
constexpr DISPID kDispidNewMailEx = 0xFAB5;

} // namespace

Application::Application(std::shared_ptr<MailStore> store)
    : events_(*this, {DIID_ApplicationEvents, DIID_ApplicationEvents_11}),
      store_(std::move(store)) {}

HRESULT Application::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID__Application ? S_OK : S_FALSE;
}

HRESULT Application::get_Class(long* value) {
    if (!value) return E_POINTER;
    *value = olApplication;
    return S_OK;
}

HRESULT Application::get_Session(_NameSpace** value) {
    return SessionObject(value);
}

HRESULT Application::get_Name(BSTR* value) {
    return ReturnText(L"Outlook", value);
}

HRESULT Application::get_Version(BSTR* value) {
    return ReturnText(version_, value);
}

HRESULT Application::GetNamespace(BSTR type, _NameSpace** value) try {
    if (!value) return E_POINTER;
    *value = nullptr;
    if (::lstrcmpiW(type ? type : L"", L"MAPI") != 0)
        return SetError(E_INVALIDARG, IID__Application, L"Outlook",
                        L"The namespace type \"" + std::wstring(type ? type : L"") +
                            L"\" is not supported; use \"MAPI\".");
    return SessionObject(value);
}
QS_CATCH_RETURN()

HRESULT Application::SessionObject(_NameSpace** value) noexcept try {
    if (!value) return E_POINTER;
    *value = nullptr;
    // One session per Application, as in Outlook.
    if (!session_) session_ = MakeObject<NameSpace>(store_);
    return session_.CopyTo(value);
}
QS_CATCH_RETURN()

void Application::FireAll(DISPID id, DISPPARAMS& params, FireStats& stats) {
    events_.Point(DIID_ApplicationEvents)->Fire(id, params, stats);
    events_.Point(DIID_ApplicationEvents_11)->Fire(id, params, stats);
}

bool Application::ItemSend(IDispatch* item, FireStats& stats) {
    // Outlook passes the arguments in reverse order: Cancel last, the item first.
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[2];
    args[0].vt = VT_BOOL | VT_BYREF;
    args[0].pboolVal = &cancel;
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = item;
    DISPPARAMS params = {args, nullptr, 2, 0};
    FireAll(kDispidItemSend, params, stats);
    return cancel != VARIANT_FALSE;
}

void Application::NewMail(const std::wstring& entryId) {
    FireStats ignored;
    unique_bstr id(::SysAllocStringLen(entryId.data(), static_cast<UINT>(entryId.size())));
    VARIANT arg;
    arg.vt = VT_BSTR;
    arg.bstrVal = id.get();
    DISPPARAMS withId = {&arg, nullptr, 1, 0};
    events_.Point(DIID_ApplicationEvents_11)->Fire(kDispidNewMailEx, withId, ignored);
    DISPPARAMS none = {};
    FireAll(kDispidNewMail, none, ignored);
}

void Application::Startup() {
    FireStats ignored;
    DISPPARAMS none = {};
    FireAll(kDispidStartup, none, ignored);
}

void Application::File(FolderId folder, StoredMessage message, FireStats& stats) {
    auto& messages = store_->Messages(folder);
    messages.push_back(std::move(message));
    if (session_) session_->RaiseItemAdd(folder, messages.back(), stats);
}

void Application::Quit() {
    FireStats ignored;
    DISPPARAMS none = {};
    FireAll(kDispidQuit, none, ignored);
}

} // namespace qs::standin
