// QsStandinTest.Addin: the tests' own COM add-in for driving outlook-standin.
// It uses the host as an add-in does (late-bound calls, connection points, the
// MAPI library by ProgID) and prints what it sees as "addin: ..." lines into
// the host's transcript. Environment variables steer it:
//   QS_TEST_ADDIN_EVENTS    ApplicationEvents (default), ApplicationEvents_11,
//                           or both, comma-separated
//   QS_TEST_ADDIN_CANCEL=1  sets Cancel in ItemSend
//   QS_TEST_ADDIN_MAPI=1    creates qsMapiLib.MAPIUtils and handles NewMail
//   QS_TEST_ADDIN_SAVE_DIR  saves each mail item there through qsMapiLib.SafeMailItem
//   QS_TEST_ADDIN_FORMAT    the SaveAs format code (default 3)
//   QS_TEST_ADDIN_LEAK=item keeps a reference to the first sent item
//   QS_TEST_ADDIN_FAIL=1    fails OnConnection with E_FAIL
//   QS_TEST_ADDIN_QUIET=1   prints nothing for sent and received items (the
//                           benchmark's baseline: only the saving is timed)
//   QS_TEST_ADDIN_FOLDERS=1 at OnStartupComplete walks the Inbox and Sent Items,
//                           newest first, and then prints their ItemAdd events;
//                           prints the items of ItemSend and NewMail the same way
//   QS_TEST_ADDIN_TIMER=MS  at OnStartupComplete sets a timer of MS on the host's
//                           thread whose callback takes MS as well
#include "AddInDesigner.h"
#include "ClassFactory.h"
#include "ComObject.h"
#include "LateBound.h"
#include "ServerRegistration.h"
#include "unique.h"

#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

const CLSID CLSID_TestAddin = {
    0xEC524CB4, 0x32AB, 0x4061, {0x9A, 0xB0, 0x95, 0x6B, 0xD9, 0xFC, 0xAA, 0x05}};
const IID DIID_ApplicationEvents = {0x0006304E, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID DIID_ApplicationEvents_11 = {0x0006302C, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_Application = {0x00063001, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_NameSpace = {0x00063002, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_MAPIUtils = {
    0xD45B0772, 0x5801, 0x4E61, {0x9C, 0xBA, 0x84, 0x12, 0x05, 0x57, 0xA4, 0xD7}};
const IID DIID_MAPIUtilsEvents = {
    0x359A062F, 0xCDA8, 0x4A9C, {0x9B, 0x28, 0x58, 0x84, 0x46, 0xD3, 0x50, 0x98}};
const IID DIID_ItemsEvents = {0x00063077, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr long kPrSearchKey = 0x300B0102;
constexpr long kPrInternetMessageId = 0x1035001F;
constexpr DATE kNoDate = 949998.0;

std::wstring Environment(const wchar_t* name) {
    wchar_t value[1024];
    const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

void Say(const std::wstring& text) {
    std::wstring line = L"addin: " + text + L"\n";
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8.data(), size, nullptr, nullptr);
    std::fputs(utf8.c_str(), stdout);
    std::fflush(stdout);
}

std::wstring Hex(HRESULT hr) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// A late-bound call; on failure, `error` gets the callee's description.
HRESULT InvokeNamed(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> args,
                    VARIANT* result, std::wstring* error = nullptr) {
    CallFailure failure;
    const HRESULT hr = InvokeByName(object, name, flags, args.data(),
                                    static_cast<UINT>(args.size()), result, failure);
    if (FAILED(hr) && error) *error = failure.description;
    return hr;
}

std::wstring TextProperty(IDispatch* object, const wchar_t* name) {
    std::wstring text;
    CallFailure failure;
    return SUCCEEDED(GetTextProperty(object, name, text, failure)) ? text : L"?";
}

IDispatch* ObjectIn(const VARIANT& value) {
    return value.vt == VT_DISPATCH ? value.pdispVal : nullptr;
}

VARIANT LongArg(long value) {
    VARIANT arg;
    arg.vt = VT_I4;
    arg.lVal = value;
    return arg;
}

// "2026-07-12T08:15:00", or "none" for Outlook's no date.
std::wstring DateProperty(IDispatch* item, const wchar_t* name) {
    qs::unique_variant value;
    SYSTEMTIME time;
    if (FAILED(InvokeNamed(item, name, DISPATCH_PROPERTYGET, {}, value.put())) ||
        value.vt != VT_DATE || !::VariantTimeToSystemTime(value.date, &time))
        return L"?";
    if (value.date == kNoDate) return L"none";
    wchar_t text[32];
    std::swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02u", time.wYear, time.wMonth, time.wDay,
                  time.wHour, time.wMinute, time.wSecond);
    return text;
}

// Wraps an item in a new qsMapiLib.SafeMailItem, as the archiver does.
HRESULT Wrap(IDispatch* item, ComPtr<IDispatch>* wrapper, std::wstring* error) {
    CLSID clsid;
    HRESULT hr = ::CLSIDFromProgID(L"qsMapiLib.SafeMailItem", &clsid);
    if (SUCCEEDED(hr)) {
        hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(wrapper->ReleaseAndGetAddressOf()));
        ComPtr<IErrorInfo> info;
        qs::unique_bstr description;
        if (FAILED(hr) && ::GetErrorInfo(0, &info) == S_OK &&
            SUCCEEDED(info->GetDescription(description.put())) && description)
            *error = description.get();
    }
    if (FAILED(hr)) return hr;
    VARIANT arg;
    arg.vt = VT_DISPATCH;
    arg.pdispVal = item;
    return InvokeNamed(wrapper->Get(), L"Item", DISPATCH_PROPERTYPUT, {arg}, nullptr, error);
}

// A property read by tag through SafeMailItem.Fields: bytes in hexadecimal,
// text as it is, "-" for Empty (the item has no such property).
std::wstring FieldText(IDispatch* wrapper, long tag) {
    qs::unique_variant value;
    if (FAILED(InvokeNamed(wrapper, L"Fields", DISPATCH_PROPERTYGET, {LongArg(tag)}, value.put())))
        return L"?";
    if (value.vt == VT_EMPTY) return L"-";
    if (value.vt == VT_BSTR) return value.bstrVal ? value.bstrVal : L"";
    if (value.vt != (VT_ARRAY | VT_UI1)) return L"vt" + std::to_wstring(value.vt);
    std::wstring hex;
    BYTE* bytes = nullptr;
    if (FAILED(::SafeArrayAccessData(value.parray, reinterpret_cast<void**>(&bytes)))) return L"?";
    wchar_t digits[3];
    for (ULONG i = 0; i < value.parray->rgsabound[0].cElements; ++i) {
        std::swprintf(digits, 3, L"%02X", bytes[i]);
        hex += digits;
    }
    ::SafeArrayUnaccessData(value.parray);
    return hex;
}

// An item's type, times, search key, Internet message ID, EntryID and subject,
// the identity read by tag as the archiver reads it.
std::wstring Describe(IDispatch* item) {
    std::wstring text = ItemTypeName(item) + L" received=" + DateProperty(item, L"ReceivedTime") +
                        L" sent=" + DateProperty(item, L"SentOn");
    ComPtr<IDispatch> wrapper;
    std::wstring error;
    if (FAILED(Wrap(item, &wrapper, &error))) return text + L" error " + error;
    return text + L" key=" + FieldText(wrapper.Get(), kPrSearchKey) + L" id=" +
           FieldText(wrapper.Get(), kPrInternetMessageId) + L" entry=" +
           TextProperty(item, L"EntryID") + L" " + TextProperty(item, L"Subject");
}

bool Switched(const wchar_t* name) {
    return Environment(name) == L"1";
}

// The timer's delay, which is also how long its callback takes.
UINT timerMilliseconds = 0;

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    ::Sleep(timerMilliseconds);
    Say(L"timer");
}

// One advised event interface; calls back for each event with its DISPID and arguments.
class EventSink final : public qs::DispatchSink<EventSink> {
public:
    using Handler = std::function<void(DISPID, DISPPARAMS*)>;
    EventSink(const IID& events, Handler handler)
        : DispatchSink(events), handler_(std::move(handler)) {}

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        handler_(id, params);
        return S_OK;
    }

private:
    Handler handler_;
};

struct Advised {
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
};

HRESULT Advise(IUnknown* source, const IID& events, EventSink::Handler handler, Advised* advised) {
    ComPtr<IConnectionPointContainer> container;
    HRESULT hr = source->QueryInterface(IID_PPV_ARGS(&container));
    if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(events, &advised->point);
    const ComPtr<EventSink> sink = qs::MakeObject<EventSink>(events, std::move(handler));
    if (SUCCEEDED(hr)) hr = advised->point->Advise(sink.Get(), &advised->cookie);
    return hr;
}

void Unadvise(Advised& advised) {
    if (advised.point) advised.point->Unadvise(advised.cookie);
    advised = {};
}

class TestAddin final : public qs::ComObject<TestAddin, IDTExtensibility2> {
public:
    // Hosts call IDTExtensibility2 through its vtable.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, ext_ConnectMode mode, IDispatch*,
                                           SAFEARRAY** custom) override {
        if (Environment(L"QS_TEST_ADDIN_FAIL") == L"1") return E_FAIL;
        ComPtr<IUnknown> typed;
        if (FAILED(application->QueryInterface(IID_Application, &typed))) return E_NOINTERFACE;
        application_ = application;
        Say(L"OnConnection mode " + std::to_wstring(mode) + L" custom " +
            std::to_wstring(custom && *custom ? (*custom)->rgsabound[0].cElements : 99) + L" " +
            TextProperty(application, L"Name") + L" " + TextProperty(application, L"Version"));

        qs::unique_variant mapi, ns;
        mapi.vt = VT_BSTR;
        mapi.bstrVal = ::SysAllocString(L"MAPI");
        HRESULT hr = InvokeNamed(application, L"GetNamespace", DISPATCH_METHOD, {mapi}, ns.put());
        if (FAILED(hr)) return hr;
        if (ns.vt != VT_DISPATCH || FAILED(ns.pdispVal->QueryInterface(IID_NameSpace, &typed)))
            return E_NOINTERFACE;
        namespace_ = ns.pdispVal;

        const std::wstring events = L"," + Environment(L"QS_TEST_ADDIN_EVENTS") + L",";
        const bool eleven = events.find(L",ApplicationEvents_11,") != std::wstring::npos;
        const bool classic =
            events == L",," || events.find(L",ApplicationEvents,") != std::wstring::npos;
        auto onApplication = [this](const wchar_t* point) {
            return [this, point](DISPID id, DISPPARAMS* params) {
                ApplicationEvent(point, id, params);
            };
        };
        if (classic)
            if (FAILED(hr = Advise(application, DIID_ApplicationEvents,
                                   onApplication(L"Application"), &classic_)))
                return hr;
        if (eleven)
            if (FAILED(hr = Advise(application, DIID_ApplicationEvents_11,
                                   onApplication(L"Application_11"), &eleven_)))
                return hr;

        if (Environment(L"QS_TEST_ADDIN_MAPI") == L"1") return ConnectMapi();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode mode, SAFEARRAY**) override {
        Say(L"OnDisconnection mode " + std::to_wstring(mode));
        ReleaseAll();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY**) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY**) override {
        Say(L"OnStartupComplete");
        if (Switched(L"QS_TEST_ADDIN_FOLDERS")) WalkFolders();
        const std::wstring timer = Environment(L"QS_TEST_ADDIN_TIMER");
        if (!timer.empty()) {
            timerMilliseconds = static_cast<UINT>(std::stoul(timer));
            if (!::SetTimer(nullptr, 0, timerMilliseconds, &OnTimer)) Say(L"no timer");
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY**) override {
        Say(L"OnBeginShutdown");
        ReleaseAll();
        return S_OK;
    }

private:
    struct WatchedFolder {
        ComPtr<IDispatch> items;
        Advised events;
    };

    // As the archiver's catch-up does: each folder's items newest first,
    // walked with GetFirst and GetNext; that collection is then kept for ItemAdd.
    void WalkFolders() {
        static const struct {
            long type;
            const wchar_t* sortBy;
        } kFolders[] = {{6, L"[ReceivedTime]"}, {5, L"[SentOn]"}};
        for (size_t i = 0; i < 2; ++i) {
            qs::unique_variant folder, items, count;
            qs::unique_bstr sortBy(::SysAllocString(kFolders[i].sortBy));
            VARIANT args[2];
            args[1].vt = VT_BSTR;
            args[1].bstrVal = sortBy.get();
            args[0].vt = VT_BOOL;
            args[0].boolVal = VARIANT_TRUE;
            std::wstring error;
            HRESULT hr = InvokeNamed(namespace_.Get(), L"GetDefaultFolder", DISPATCH_METHOD,
                                     {LongArg(kFolders[i].type)}, folder.put(), &error);
            if (SUCCEEDED(hr))
                hr = InvokeNamed(ObjectIn(folder), L"Items", DISPATCH_PROPERTYGET, {}, items.put(),
                                 &error);
            if (SUCCEEDED(hr))
                hr = InvokeNamed(ObjectIn(items), L"Sort", DISPATCH_METHOD, {args[0], args[1]},
                                 nullptr, &error);
            if (SUCCEEDED(hr))
                hr = InvokeNamed(ObjectIn(items), L"Count", DISPATCH_PROPERTYGET, {}, count.put(),
                                 &error);
            if (FAILED(hr)) {
                Say(L"error " + error);
                continue;
            }
            const std::wstring name = TextProperty(ObjectIn(folder), L"Name");
            Say(name + L" count " + std::to_wstring(count.lVal));
            for (const wchar_t* step = L"GetFirst";; step = L"GetNext") {
                qs::unique_variant item;
                if (FAILED(InvokeNamed(ObjectIn(items), step, DISPATCH_METHOD, {}, item.put(),
                                       &error)) ||
                    !ObjectIn(item))
                    break;
                Say(name + L" " + Describe(item.pdispVal));
            }
            folders_[i].items = ObjectIn(items);
            Advise(
                ObjectIn(items), DIID_ItemsEvents,
                [name](DISPID id, DISPPARAMS* params) {
                    if (id == 0xF001 && params->cArgs == 1 && params->rgvarg[0].vt == VT_DISPATCH)
                        Say(name + L".ItemAdd " + Describe(params->rgvarg[0].pdispVal));
                    else
                        Say(name + L" event " + Hex(id));
                },
                &folders_[i].events);
        }
    }

    HRESULT ConnectMapi() {
        CLSID clsid;
        HRESULT hr = ::CLSIDFromProgID(L"qsMapiLib.MAPIUtils", &clsid);
        if (SUCCEEDED(hr))
            hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_MAPIUtils,
                                    reinterpret_cast<void**>(mapiUtils_.ReleaseAndGetAddressOf()));
        if (FAILED(hr)) return hr;
        // NewMail's DISPID comes from the type information of the source interface.
        ComPtr<ITypeInfo> info, events;
        ComPtr<ITypeLib> library;
        UINT index = 0;
        hr = mapiUtils_->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
        if (SUCCEEDED(hr)) hr = info->GetContainingTypeLib(&library, &index);
        if (SUCCEEDED(hr)) hr = library->GetTypeInfoOfGuid(DIID_MAPIUtilsEvents, &events);
        LPOLESTR names[] = {const_cast<LPOLESTR>(L"NewMail")};
        if (SUCCEEDED(hr)) hr = events->GetIDsOfNames(names, 1, &newMailId_);
        if (FAILED(hr)) return hr;
        return Advise(
            mapiUtils_.Get(), DIID_MAPIUtilsEvents,
            [this](DISPID id, DISPPARAMS* params) { MapiEvent(id, params); }, &mapi_);
    }

    void ApplicationEvent(const wchar_t* point, DISPID id, DISPPARAMS* params) {
        const std::wstring source = point;
        if (id == 0xF002) return ItemSend(source, params);
        static const struct {
            DISPID id;
            const wchar_t* name;
        } kNamed[] = {{0xF003, L".NewMail"},
                      {0xF006, L".Startup"},
                      {0xF007, L".Quit"},
                      {0xFAB5, L".NewMailEx"}};
        for (const auto& event : kNamed)
            if (event.id == id) return Say(source + event.name);
        Say(source + L" event " + Hex(id));
    }

    void ItemSend(const std::wstring& source, DISPPARAMS* params) {
        // Outlook's order: the item in rgvarg[1], Cancel by reference in rgvarg[0].
        if (params->cArgs != 2 || params->rgvarg[1].vt != VT_DISPATCH ||
            params->rgvarg[0].vt != (VT_BOOL | VT_BYREF)) {
            Say(L"ItemSend with unexpected arguments");
            return;
        }
        IDispatch* item = params->rgvarg[1].pdispVal;
        if (!Quiet())
            Say(source + L".ItemSend " + ItemTypeName(item) + L" " +
                TextProperty(item, L"Subject"));
        if (Environment(L"QS_TEST_ADDIN_LEAK") == L"item" && !leaked_) {
            leaked_ = item;
            leaked_->AddRef(); // never released: the host must count it
        }
        if (Switched(L"QS_TEST_ADDIN_FOLDERS")) Say(L"ItemSend " + Describe(item));
        if (Environment(L"QS_TEST_ADDIN_CANCEL") == L"1")
            *params->rgvarg[0].pboolVal = VARIANT_TRUE;
        if (ItemTypeName(item) == L"MailItem") Archive(item, L"sent");
    }

    void MapiEvent(DISPID id, DISPPARAMS* params) {
        if (id != newMailId_ || params->cArgs != 1 || params->rgvarg[0].vt != VT_DISPATCH) {
            Say(L"unexpected MAPIUtils event " + Hex(id));
            return;
        }
        IDispatch* item = params->rgvarg[0].pdispVal;
        if (!Quiet())
            Say(L"MAPIUtils.NewMail " + ItemTypeName(item) + L" " + TextProperty(item, L"Subject"));
        if (Switched(L"QS_TEST_ADDIN_FOLDERS")) Say(L"NewMail " + Describe(item));
        if (ItemTypeName(item) == L"MessageItem") Archive(item, L"received");
    }

    // As the archiver does: Save, wrap, read Subject through the wrapper, SaveAs.
    void Archive(IDispatch* item, const std::wstring& direction) {
        const std::wstring folder = Environment(L"QS_TEST_ADDIN_SAVE_DIR");
        if (folder.empty()) return;
        std::wstring error;
        HRESULT hr = InvokeNamed(item, L"Save", DISPATCH_METHOD, {}, nullptr, &error);
        ComPtr<IDispatch> wrapper;
        if (SUCCEEDED(hr)) hr = Wrap(item, &wrapper, &error);
        qs::unique_variant subject;
        if (SUCCEEDED(hr))
            hr = InvokeNamed(wrapper.Get(), L"Subject", DISPATCH_PROPERTYGET, {}, subject.put(),
                             &error);
        if (SUCCEEDED(hr)) {
            // The path by reference and the format as a 16-bit integer, as the archiver passes
            // them.
            const std::wstring name = direction + L"-" + std::to_wstring(++saved_) + L".msg";
            qs::unique_bstr path(::SysAllocString((folder + L"\\" + name).c_str()));
            BSTR pathValue = path.get();
            const std::wstring format = Environment(L"QS_TEST_ADDIN_FORMAT");
            VARIANT args[2];
            args[1].vt = VT_BSTR | VT_BYREF;
            args[1].pbstrVal = &pathValue;
            args[0].vt = VT_I2;
            args[0].iVal = static_cast<SHORT>(format.empty() ? 3 : std::stoi(format));
            hr = InvokeNamed(wrapper.Get(), L"SaveAs", DISPATCH_METHOD, {args[0], args[1]}, nullptr,
                             &error);
            if (SUCCEEDED(hr) && !Quiet()) Say(L"saved " + name + L" " + subject.bstrVal);
        }
        if (FAILED(hr)) Say(L"error " + (error.empty() ? Hex(hr) : error));
    }

    static bool Quiet() { return Switched(L"QS_TEST_ADDIN_QUIET"); }

    void ReleaseAll() {
        Unadvise(mapi_);
        Unadvise(classic_);
        Unadvise(eleven_);
        for (WatchedFolder& folder : folders_) {
            Unadvise(folder.events);
            folder.items.Reset();
        }
        namespace_.Reset();
        application_.Reset();
        mapiUtils_.Reset();
    }

    ComPtr<IDispatch> application_, namespace_, mapiUtils_;
    Advised classic_, eleven_, mapi_;
    WatchedFolder folders_[2];
    DISPID newMailId_ = DISPID_UNKNOWN;
    IDispatch* leaked_ = nullptr;
    int saved_ = 0;
};

HRESULT CreateTestAddin(REFIID iid, void** object) noexcept {
    return qs::CreateInstance<TestAddin>(iid, object);
}

const qs::ServerDescription kServer = {qs::server::kClasses, 1, nullptr, nullptr, 0};

} // namespace

const qs::CreatableClass qs::server::kClasses[] = {
    {&CLSID_TestAddin, L"QsStandinTest.Addin", L"Addin", &CreateTestAddin}};
const size_t qs::server::kClassCount = 1;

HRESULT qs::server::RegisterIn(HKEY hive) noexcept try {
    return WriteRows(hive, NativeView(), ServerRows(kServer, ThisModulePath(), NativePlatform()));
}
QS_CATCH_RETURN()

HRESULT qs::server::UnregisterIn(HKEY hive) noexcept try {
    return DeleteOwnedRows(hive, NativeView(), ServerRows(kServer, L"", NativePlatform()));
}
QS_CATCH_RETURN()
