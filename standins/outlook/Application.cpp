#include "Application.h"

#include "ErrorInfo.h"
#include "Text.h"
#include "NameSpace.h"
#include "result.h"
#include "unique.h"

namespace qs::standin {

namespace {

constexpr DISPID dispidItemSend = 0xF002;
constexpr DISPID dispidNewMail = 0xF003;
constexpr DISPID dispidStartup = 0xF006;
constexpr DISPID dispidQuit = 0xF007;
constexpr DISPID dispidNewMailEx = 0xFAB5;

} // namespace

Application::Application() : events_(*this, {DIID_ApplicationEvents, DIID_ApplicationEvents_11}) {}

HRESULT Application::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID__Application ? S_OK : S_FALSE;
}

HRESULT Application::get_Class(long* value) {
    if (!value) return E_POINTER;
    *value = olApplication;
    return S_OK;
}

HRESULT Application::get_Session(_NameSpace** value) {
    return session(value);
}

HRESULT Application::get_Name(BSTR* value) {
    return return_text(L"Outlook", value);
}

HRESULT Application::get_Version(BSTR* value) {
    return return_text(version_, value);
}

HRESULT Application::GetNamespace(BSTR type, _NameSpace** value) try {
    if (!value) return E_POINTER;
    *value = nullptr;
    if (::lstrcmpiW(type ? type : L"", L"MAPI") != 0)
        return set_error(E_INVALIDARG, IID__Application, L"Outlook",
                         L"The namespace type \"" + std::wstring(type ? type : L"") +
                             L"\" is not supported; use \"MAPI\".");
    return session(value);
}
QS_CATCH_RETURN()

HRESULT Application::session(_NameSpace** value) noexcept try {
    if (!value) return E_POINTER;
    *value = nullptr;
    // One session per Application, as in Outlook.
    if (!session_) session_ = MakeObject<NameSpace>();
    return session_.CopyTo(value);
}
QS_CATCH_RETURN()

void Application::fire_all(DISPID id, DISPPARAMS& params, FireStats& stats) {
    events_.point(DIID_ApplicationEvents)->fire(id, params, stats);
    events_.point(DIID_ApplicationEvents_11)->fire(id, params, stats);
}

bool Application::item_send(IDispatch* item, FireStats& stats) {
    // Outlook passes the arguments in reverse order: Cancel last, the item first.
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[2];
    args[0].vt = VT_BOOL | VT_BYREF;
    args[0].pboolVal = &cancel;
    args[1].vt = VT_DISPATCH;
    args[1].pdispVal = item;
    DISPPARAMS params = {args, nullptr, 2, 0};
    fire_all(dispidItemSend, params, stats);
    return cancel != VARIANT_FALSE;
}

void Application::new_mail(const std::wstring& entryId) {
    FireStats ignored;
    unique_bstr id(::SysAllocStringLen(entryId.data(), static_cast<UINT>(entryId.size())));
    VARIANT arg;
    arg.vt = VT_BSTR;
    arg.bstrVal = id.get();
    DISPPARAMS withId = {&arg, nullptr, 1, 0};
    events_.point(DIID_ApplicationEvents_11)->fire(dispidNewMailEx, withId, ignored);
    DISPPARAMS none = {};
    fire_all(dispidNewMail, none, ignored);
}

void Application::startup() {
    FireStats ignored;
    DISPPARAMS none = {};
    fire_all(dispidStartup, none, ignored);
}

void Application::quit() {
    FireStats ignored;
    DISPPARAMS none = {};
    fire_all(dispidQuit, none, ignored);
}

} // namespace qs::standin
