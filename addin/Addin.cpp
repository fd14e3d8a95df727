#include "Addin.h"

#include "AddinVersion.h"
#include "ArchiveIndex.h"
#include "Archiver.h"
#include "CatchUp.h"
#include "ComObject.h"
#include "EventSink.h"
#include "HostInterfaces.h"
#include "LateBound.h"
#include "Logging.h"
#include "Settings.h"
#include "dispatch.h"
#include "result.h"
#include "unique.h"

#include <wrl/client.h>

#include <cwctype>
#include <new>
#include <string>

using Microsoft::WRL::ComPtr;

namespace qs {

// The add-in's own version, reported in the log at connection.
constexpr int kVersionMajor = QS_ADDIN_VERSION_MAJOR;
constexpr int kVersionMinor = QS_ADDIN_VERSION_MINOR;
constexpr int kVersionRevision = QS_ADDIN_VERSION_REVISION;

// Named apart from the coclass of the same name that the type library declares.
class Addin final : public qs::ComObject<Addin, _Addin, IDTExtensibility2>, private EventHandler {
public:
    ~Addin() {
        Teardown();
        DetachSinks();
    }

    // _Addin has no members of its own, so both dispatch faces show the
    // IDTExtensibility2 members.
    QS_IMPLEMENT_DISPATCH(IDTExtensibility2)

    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, ext_ConnectMode mode, IDispatch*,
                                           SAFEARRAY**) override {
        try {
            QS_RETURN_IF_FAILED(IDTExtensibility2_OnConnection(application));
            // Connected from the COM Add-ins dialog: no start-up is coming to wait for.
            if (mode == ext_cm_AfterStartup) StartCatchUp();
            return S_OK;
        }
        QS_CATCH_RETURN()
    }
    HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode, SAFEARRAY**) override {
        Teardown();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY**) override {
        Teardown();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY**) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY**) override {
        StartCatchUp();
        return S_OK;
    }

private:
    // The first step that fails ends the connection with its code; what was
    // done stays done.
    HRESULT IDTExtensibility2_OnConnection(IDispatch* application) {
        if (!application) return E_POINTER;
        ComPtr<IDispatch> host;
        QS_RETURN_IF_FAILED(application->QueryInterface(
            IID_OutlookApplication, reinterpret_cast<void**>(host.GetAddressOf())));

        CallFailure failure;
        qs::unique_variant mapi;
        mapi.vt = VT_BSTR;
        mapi.bstrVal = ::SysAllocString(L"MAPI");
        QS_RETURN_IF_NULL_ALLOC(mapi.bstrVal);
        qs::unique_variant session;
        QS_RETURN_IF_FAILED(InvokeById(host.Get(), kDispidGetNamespace, DISPATCH_METHOD, &mapi, 1,
                                       session.put(), failure));
        if (session.vt != VT_DISPATCH || !session.pdispVal) return E_NOINTERFACE;
        ComPtr<IDispatch> nameSpace;
        QS_RETURN_IF_FAILED(session.pdispVal->QueryInterface(
            IID_OutlookNameSpace, reinterpret_cast<void**>(nameSpace.GetAddressOf())));

        // The settings are complete before any event is subscribed to: loading
        // may show a message box, whose message loop can deliver events.
        oSettings.Reset();
        ComPtr<_Settings> settings;
        QS_RETURN_IF_FAILED(Settings_CreateInstance(IID_PPV_ARGS(&settings)));
        qs::unique_variant loaded;
        // Load reports nothing of its own: a value it cannot read keeps its default.
        (void)settings->Load(loaded.put());
        oSettings = settings;
        catchUpOn_ = CatchUpSwitchedOn();

        QS_RETURN_IF_FAILED(Sink(applicationSink_, DIID_OutlookApplicationEvents));
        QS_RETURN_IF_FAILED(oApplication.Set(host.Get(), applicationSink_.Get()));
        QS_RETURN_IF_FAILED(Sink(nameSpaceSink_, DIID_OutlookNameSpaceEvents));
        QS_RETURN_IF_FAILED(oNS.Set(nameSpace.Get(), nameSpaceSink_.Get()));

        // The object's own getters cannot fail.
        short logging = 0, enabledIn = 0, enabledOut = 0;
        (void)oSettings->get_Logging(&logging);
        (void)oSettings->get_EnabledIn(&enabledIn);
        (void)oSettings->get_EnabledOut(&enabledOut);
        std::wstring hostVersion;
        bool versionRead = false;
        if (logging > 0) {
            WriteLog(L"Addin loaded. Version " + std::to_wstring(kVersionMajor) + L"." +
                     std::to_wstring(kVersionMinor) + L" Build " +
                     std::to_wstring(kVersionRevision));
            if (enabledIn != 0) {
                QS_RETURN_IF_FAILED(
                    GetTextProperty(oApplication.Get(), L"Version", hostVersion, failure));
                versionRead = true;
                if (!hostVersion.empty() && hostVersion[0] == L'9') {
                    WriteLog(L"Archiving Incoming Messages is enabled but does not work with "
                             L"Outlook 2000");
                } else {
                    WriteLog(L"Archiving Incoming Messages to: " +
                             SettingText(&_Settings::get_FolderIn));
                }
            }
            if (enabledOut != 0)
                WriteLog(L"Archiving Outgoing Messages to: " +
                         SettingText(&_Settings::get_FolderOut));
        }

        if (enabledIn != 0) {
            CLSID clsid;
            QS_RETURN_IF_FAILED(::CLSIDFromProgID(kMapiUtilsProgId, &clsid));
            ComPtr<IDispatch> utils;
            QS_RETURN_IF_FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_MapiUtils,
                                                   reinterpret_cast<void**>(utils.GetAddressOf())));
            QS_RETURN_IF_FAILED(FindNewMail(utils.Get()));
            QS_RETURN_IF_FAILED(Sink(mapiSink_, DIID_MapiUtilsEvents));
            QS_RETURN_IF_FAILED(rApplication.Set(utils.Get(), mapiSink_.Get()));
        }

        // Outlook 2003 (11) and later open Unicode message files; older ones
        // only the ANSI format, which loses every character outside the code page.
        if (!versionRead &&
            FAILED(GetTextProperty(oApplication.Get(), L"Version", hostVersion, failure)))
            hostVersion.clear();
        messageFormat_ = MajorVersion(hostVersion) >= 11 ? kFormatUnicodeMsg : kFormatAnsiMsg;
        return S_OK;
    }

    // Every step is attempted; nothing can fail here.
    void Teardown() noexcept {
        catchUp_.Stop();
        oNS.Clear();
        oApplication.Clear();
        rApplication.Clear();
        oSettings.Reset();
    }

    void OnEvent(REFIID events, DISPID id, DISPPARAMS* params) noexcept override {
        // A disconnection that arrives while an event is handled (SaveAs may
        // pump messages) must not free the add-in or its settings under it.
        const ComPtr<IDTExtensibility2> self(this);
        const ComPtr<_Settings> settings = oSettings;
        if (!settings) return;
        if (events == DIID_OutlookApplicationEvents && id == kDispidItemSend) {
            // Item, then Cancel, in reverse order; Cancel is never touched.
            if (params->cArgs == 2)
                oApplication_ItemSend(ObjectArgument(params->rgvarg[1]), settings.Get());
        } else if (events == DIID_MapiUtilsEvents && id == newMailId_ &&
                   newMailId_ != DISPID_UNKNOWN) {
            if (params->cArgs >= 1)
                rApplication_NewMail(ObjectArgument(params->rgvarg[params->cArgs - 1]),
                                     settings.Get());
        }
    }

    void oApplication_ItemSend(IDispatch* item, _Settings* settings) noexcept {
        ArchiveLive(kOutgoingMessages, item, settings);
    }
    void rApplication_NewMail(IDispatch* item, _Settings* settings) noexcept {
        ArchiveLive(kIncomingMessages, item, settings);
    }

    // What the live events archive is recorded, so that no catch-up archives
    // it again; with the catch-up on, what a catch-up archived is left alone.
    void ArchiveLive(const ArchiveDirection& direction, IDispatch* item,
                     _Settings* settings) noexcept {
        ArchiveRequest request{direction, item, settings, messageFormat_};
        request.index = &index_;
        request.skipArchived = catchUpOn_;
        if (catchUpOn_) index_.Load();
        if (ArchiveItem(request) == ArchiveOutcome::Failed) catchUp_.NoteFailure();
    }

    void StartCatchUp() noexcept {
        if (catchUpOn_ && oSettings && oNS)
            catchUp_.Start(oNS.Get(), oSettings.Get(), messageFormat_);
    }

    static IDispatch* ObjectArgument(const VARIANT& arg) noexcept {
        if (arg.vt == VT_DISPATCH) return arg.pdispVal;
        if (arg.vt == (VT_DISPATCH | VT_BYREF) && arg.ppdispVal) return *arg.ppdispVal;
        if (arg.vt == (VT_VARIANT | VT_BYREF) && arg.pvarVal) return ObjectArgument(*arg.pvarVal);
        return nullptr;
    }

    // The library's NewMail event is found by name in its own type information.
    HRESULT FindNewMail(IDispatch* utils) noexcept {
        ComPtr<ITypeInfo> info;
        QS_RETURN_IF_FAILED(utils->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info));
        if (!info) return E_NOINTERFACE;
        ComPtr<ITypeLib> library;
        UINT index = 0;
        QS_RETURN_IF_FAILED(info->GetContainingTypeLib(&library, &index));
        ComPtr<ITypeInfo> events;
        QS_RETURN_IF_FAILED(library->GetTypeInfoOfGuid(DIID_MapiUtilsEvents, &events));
        LPOLESTR names[] = {const_cast<LPOLESTR>(L"NewMail")};
        return events->GetIDsOfNames(names, 1, &newMailId_);
    }

    HRESULT Sink(ComPtr<EventSink>& sink, REFIID events) noexcept {
        if (sink) return S_OK;
        return EventSink::Create(events, this, sink.ReleaseAndGetAddressOf());
    }

    void DetachSinks() noexcept {
        for (EventSink* sink : {applicationSink_.Get(), nameSpaceSink_.Get(), mapiSink_.Get()})
            if (sink) sink->Detach();
    }

    std::wstring SettingText(HRESULT (STDMETHODCALLTYPE _Settings::*get)(BSTR*)) {
        qs::unique_bstr text;
        (oSettings.Get()->*get)(text.put());
        return std::wstring(text.get() ? text.get() : L"", ::SysStringLen(text.get()));
    }

    static int MajorVersion(const std::wstring& version) noexcept {
        int major = 0;
        for (wchar_t ch : version) {
            if (!std::iswdigit(ch)) break;
            major = major * 10 + (ch - L'0');
            if (major > 1000) break;
        }
        return major;
    }

    qs::TypeInfoDispatch dispatch_{IID_IDTExtensibility2};
    ComPtr<EventSink> applicationSink_, nameSpaceSink_, mapiSink_;
    DISPID newMailId_ = DISPID_UNKNOWN;
    short messageFormat_ = kFormatAnsiMsg;

    WithEventsMember oApplication{DIID_OutlookApplicationEvents};
    WithEventsMember oNS{DIID_OutlookNameSpaceEvents};
    WithEventsMember rApplication{DIID_MapiUtilsEvents};
    ComPtr<_Settings> oSettings;

    bool catchUpOn_ = false;
    ArchiveIndex index_;
    CatchUp catchUp_{static_cast<IDTExtensibility2*>(this), index_};
};

} // namespace qs

HRESULT Addin_CreateInstance(REFIID iid, void** object) noexcept {
    return qs::CreateInstance<qs::Addin>(iid, object);
}
