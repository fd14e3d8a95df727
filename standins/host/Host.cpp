#include "Host.h"

#include "AddinHost.h"
#include "Application.h"
#include "EventTimes.h"
#include "HostFaults.h"
#include "MapiLibrary.h"
#include "MessageLoop.h"
#include "Output.h"
#include "ProcessMemory.h"
#include "SampleMail.h"
#include "SavedItems.h"
#include "StoreFile.h"
#include "unique.h"

#include <objbase.h>
#include <windows.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <utility>

namespace qs::standin {

namespace {

using Microsoft::WRL::ComPtr;

class Session {
public:
    Session(const Options& options, std::shared_ptr<MailStore> store)
        : options_(options), store_(std::move(store)), addins_(options.addins, options.timing) {
        if (!options.sendInMessageBox.empty()) SendInNextMessageBox(options.sendInMessageBox);
    }

    // Under --closed nothing is connected, and so nothing is disconnected either.
    void Start() {
        application_ = MakeObject<Application>(store_);
        application_->SetVersion(options_.version);
        // PropertyAccessor came with Outlook 2007 (12).
        OfferPropertyAccessor(std::wcstol(options_.version.c_str(), nullptr, 10) >= 12);
        if (!options_.closed) addins_.Connect(static_cast<_Application*>(application_.Get()));
        application_->Startup();
        loop_.DispatchWaiting();
    }

    void Stop() {
        application_->Quit();
        addins_.Disconnect();
        application_.Reset();
        Disconnected();
    }

    void DispatchWaiting() { loop_.DispatchWaiting(); }

    // False when the step could not be carried out.
    bool Play(const Step& step) {
        switch (step.action) {
        case Step::Action::Send:
            return Send(step);
        case Step::Action::Receive:
        case Step::Action::ReceiveItem:
            return Receive(step);
        case Step::Action::SentElsewhere:
            return SentElsewhere(step);
        case Step::Action::At:
            at_ = step.time;
            return true;
        case Step::Action::Idle:
            loop_.Idle(step.milliseconds);
            return true;
        case Step::Action::FailNextSave:
            FailNextSave();
            return true;
        case Step::Action::FailNextInLibrary:
            return FailNextInLibrary(step);
        case Step::Action::Restart:
            Stop();
            Start();
            return true;
        case Step::Action::Memory:
            PrintLine(MemoryReport());
            return true;
        case Step::Action::Window:
            PrintLine(times_.NextWindow());
            return true;
        case Step::Action::Pause:
            Pause();
            return true;
        case Step::Action::DisconnectInNextSaveAs:
            return DisconnectInNextSaveAs(step);
        case Step::Action::DisconnectAndHold:
            // An add-in lets go of the library's objects at disconnection, not at its release.
            addins_.Disconnect(true);
            Disconnected();
            PrintLine("library objects: " + std::to_string(mapi_.LiveObjects()));
            return true;
        }
        return false;
    }

    void Report() {
        const long live = qs::ModuleObjectCount() + mapi_.LiveObjects();
        PrintLine("live objects: " + std::to_string(live));
        if (options_.timing) {
            PrintLine(times_.Summary());
            PrintLine(loop_.Total());
            PrintLine(loop_.Summary());
        }
    }

    bool AnyConnectFailed() const noexcept { return addins_.AnyFailed(); }

private:
    // The time of a message sent or received now.
    DATE MessageTime() const { return at_ ? *at_ : LocalNow(); }

    void Disconnected() const {
        if (!options_.closed) PrintLine(std::string("disconnected"));
    }

    // The time add-ins spent in a message's events (ItemSend, NewMail, ItemAdd)
    // is one sample of the event times.
    bool Send(const Step& step) {
        const ItemFields fields = SampleSentMail(step.subject);
        FireStats stats;
        bool cancelled = false;
        if (!options_.closed) {
            ComPtr<IDispatch> item;
            if (!Created(step, CreateItem(step.kind, fields, &item))) return false;
            cancelled = application_->ItemSend(item.Get(), stats);
        }
        if (!cancelled) {
            // Outlook's MailItem.SentOn documentation: sending sets SentOn and
            // ReceivedTime. Moving to Sent Items gives a new EntryID; the search
            // key stays.
            StoredMessage sent = ToStored(step.kind, fields);
            sent.entryId = NewEntryId();
            sent.sentOn = sent.receivedTime = MessageTime();
            application_->File(FolderId::SentItems, std::move(sent), stats);
        }
        Record(stats);
        PrintSaves();
        PrintLine(std::string(cancelled ? "cancelled" : "sent"));
        return true;
    }

    bool SentElsewhere(const Step& step) {
        StoredMessage sent = ToStored(ItemKind::Mail, SampleSentMail(step.subject));
        sent.sentOn = sent.receivedTime = MessageTime();
        FireStats stats;
        application_->File(FolderId::SentItems, std::move(sent), stats);
        Record(stats);
        PrintSaves();
        PrintLine(std::string("sent-elsewhere"));
        return true;
    }

    // The item lands in the Inbox first; NewMailEx then names it, and the
    // library's NewMail hands on an item with its identity.
    bool Receive(const Step& step) {
        const ItemFields fields = SampleReceivedMail(step.subject, MessageTime());
        FireStats stats;
        application_->File(FolderId::Inbox, ToStored(step.kind, fields), stats);
        if (step.action == Step::Action::Receive && !options_.closed) {
            ComPtr<IDispatch> item;
            if (!Created(step, CreateItem(step.kind, fields, &item))) return false;
            application_->NewMail(fields.entryId);
            mapi_.RaiseNewMail(item.Get(), &stats);
        }
        Record(stats);
        PrintSaves();
        PrintLine(std::string("received"));
        return true;
    }

    // After the event, outside the time it is measured by.
    static void PrintSaves() {
        for (const std::wstring& subject : TakeSaved())
            PrintLine(L"saved " + subject);
    }

    // Until a line (or the end) arrives on standard input: the test that runs
    // the host can change what the add-ins will find, such as their settings.
    static void Pause() {
        PrintLine(std::string("paused"));
        char line[256];
        while (std::fgets(line, sizeof line, stdin) && !std::strchr(line, '\n')) {
        }
    }

    bool FailNextInLibrary(const Step& step) {
        std::wstring problem;
        if (SUCCEEDED(mapi_.FailNext(step.operation, &problem))) return true;
        PrintError(L"line " + std::to_wstring(step.line) + L": " + problem);
        return false;
    }

    // Outlook may shut the add-ins down while a save pumps messages.
    bool DisconnectInNextSaveAs(const Step& step) {
        std::wstring problem;
        if (SUCCEEDED(mapi_.CallInNextSaveAs(&Session::DisconnectNow, this, &problem))) return true;
        PrintError(L"line " + std::to_wstring(step.line) + L": " + problem);
        return false;
    }

    static void WINAPI DisconnectNow(void* session) {
        try {
            static_cast<Session*>(session)->addins_.Disconnect();
            PrintLine(std::string("disconnected"));
        } catch (...) {
            PrintError(L"the disconnection inside SaveAs failed");
        }
    }

    // A message box runs a message loop of its own, in which Outlook goes on
    // sending: the next box shown on this thread sends a message from its
    // loop (a timer), then closes.
    void SendInNextMessageBox(const std::wstring& subject) {
        boxStep_.action = Step::Action::Send;
        boxStep_.subject = subject;
        boxSession_ = this;
        boxHook_.reset(
            ::SetWindowsHookExW(WH_CBT, &Session::OnWindowEvent, nullptr, ::GetCurrentThreadId()));
        if (!boxHook_) PrintError(L"cannot watch for message boxes");
    }

    static LRESULT CALLBACK OnWindowEvent(int code, WPARAM wParam, LPARAM lParam) {
        wchar_t className[16] = {};
        if (code == HCBT_ACTIVATE && boxSession_ &&
            ::GetClassNameW(reinterpret_cast<HWND>(wParam), className, 16) &&
            std::wstring(className) == L"#32770") {
            boxSession_->boxHook_.reset();
            ::SetTimer(reinterpret_cast<HWND>(wParam), 1, 10, &Session::OnBoxTimer);
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static void CALLBACK OnBoxTimer(HWND box, UINT, UINT_PTR id, DWORD) {
        ::KillTimer(box, id);
        Session* session = std::exchange(boxSession_, nullptr);
        if (session) {
            try {
                session->Send(session->boxStep_);
            } catch (...) {
                PrintError(L"the send inside the message box failed");
            }
        }
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    }

    struct Unhook {
        void operator()(HHOOK hook) const noexcept { ::UnhookWindowsHookEx(hook); }
    };

    bool Created(const Step& step, HRESULT hr) {
        if (SUCCEEDED(hr)) return true;
        PrintError(L"line " + std::to_wstring(step.line) + L": cannot create the item");
        return false;
    }

    void Record(const FireStats& stats) {
        if (stats.sinksCalled > 0) times_.Add(stats.microsecondsInSinks);
    }

    const Options& options_;
    std::shared_ptr<MailStore> store_;
    MessageLoop loop_;
    AddinHost addins_;
    MapiLibrary mapi_;
    EventTimes times_;
    ComPtr<Application> application_;
    std::optional<DATE> at_;
    Step boxStep_{};
    unique_any<HHOOK, Unhook> boxHook_;
    static Session* boxSession_;
};

Session* Session::boxSession_ = nullptr;

} // namespace

int RunHost(const Options& options, const std::vector<Step>& steps) {
    // Outlook's main thread is a single-threaded apartment; everything happens on it.
    const unique_com_apartment apartment = EnterApartment(COINIT_APARTMENTTHREADED);
    if (!apartment) {
        PrintError(L"cannot initialise COM");
        return 1;
    }
    auto store = std::make_shared<MailStore>();
    std::wstring problem;
    if (!options.storePath.empty() && !LoadStore(options.storePath, store.get(), &problem)) {
        PrintError(problem);
        return 1;
    }
    int status = 0;
    Session session(options, store);
    session.Start();
    for (const Step& step : steps) {
        bool played = false;
        try {
            played = session.Play(step);
        } catch (const std::exception&) {
            PrintError(L"line " + std::to_wstring(step.line) + L": the host failed");
        }
        if (!played) {
            status = 1;
            break;
        }
        session.DispatchWaiting();
    }
    session.Stop();
    if (!options.storePath.empty() && !SaveStore(options.storePath, *store, &problem)) {
        PrintError(problem);
        status = 1;
    }
    session.Report();
    if (status == 0 && session.AnyConnectFailed()) status = 2;
    return status;
}

} // namespace qs::standin
