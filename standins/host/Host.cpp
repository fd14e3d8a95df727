#include "Host.h"

#include "AddinHost.h"
#include "Application.h"
#include "EventTimes.h"
#include "HostFaults.h"
#include "MapiLibrary.h"
#include "Output.h"
#include "ProcessMemory.h"
#include "SampleMail.h"
#include "SavedItems.h"
#include "unique.h"

#include <objbase.h>
#include <windows.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstring>
#include <utility>

namespace qs::standin {

namespace {

using Microsoft::WRL::ComPtr;

class Session {
public:
    Session(const Options& options) : options_(options), addins_(options.addins, options.timing) {
        if (!options.sendInMessageBox.empty()) send_in_next_message_box(options.sendInMessageBox);
    }

    void start() {
        application_ = MakeObject<Application>();
        application_->set_version(options_.version);
        addins_.connect(static_cast<_Application*>(application_.Get()));
        application_->startup();
    }

    void stop() {
        application_->quit();
        addins_.disconnect();
        application_.Reset();
        print_line(std::string("disconnected"));
    }

    // False when the step could not be carried out.
    bool play(const Step& step) {
        switch (step.action) {
        case Step::Action::Send:
            return send(step);
        case Step::Action::Receive:
            return receive(step);
        case Step::Action::FailNextSave:
            fail_next_save();
            return true;
        case Step::Action::FailNextInLibrary:
            return fail_next_in_library(step);
        case Step::Action::Restart:
            stop();
            start();
            return true;
        case Step::Action::Memory:
            print_line(memory_report());
            return true;
        case Step::Action::Window:
            print_line(times_.next_window());
            return true;
        case Step::Action::Pause:
            pause();
            return true;
        case Step::Action::DisconnectInNextSaveAs:
            return disconnect_in_next_save_as(step);
        case Step::Action::DisconnectAndHold:
            // An add-in lets go of the library's objects at disconnection, not at its release.
            addins_.disconnect(true);
            print_line(std::string("disconnected"));
            print_line("library objects: " + std::to_string(mapi_.live_objects()));
            return true;
        }
        return false;
    }

    void report() {
        const long live = qs::module_object_count() + mapi_.live_objects();
        print_line("live objects: " + std::to_string(live));
        if (options_.timing) print_line(times_.summary());
    }

    bool any_connect_failed() const noexcept { return addins_.any_failed(); }

private:
    bool send(const Step& step) {
        ComPtr<IDispatch> item;
        if (!created(step, create_item(step.kind, sample_sent_mail(step.subject), &item)))
            return false;
        FireStats stats;
        const bool cancelled = application_->item_send(item.Get(), stats);
        record(stats);
        print_saves();
        print_line(std::string(cancelled ? "cancelled" : "sent"));
        return true;
    }

    bool receive(const Step& step) {
        ComPtr<IDispatch> item;
        if (!created(step, create_item(ItemKind::Mail, sample_received_mail(step.subject), &item)))
            return false;
        ComPtr<_MailItem> mail;
        unique_bstr entryId;
        if (SUCCEEDED(item.As(&mail)) && SUCCEEDED(mail->get_EntryID(entryId.put())))
            application_->new_mail(entryId.get());
        FireStats stats;
        mapi_.raise_new_mail(item.Get(), &stats);
        record(stats);
        print_saves();
        print_line(std::string("received"));
        return true;
    }

    // After the event, outside the time it is measured by.
    static void print_saves() {
        for (const std::wstring& subject : take_saved())
            print_line(L"saved " + subject);
    }

    // Until a line (or the end) arrives on standard input: the test that runs
    // the host can change what the add-ins will find, such as their settings.
    static void pause() {
        print_line(std::string("paused"));
        char line[256];
        while (std::fgets(line, sizeof line, stdin) && !std::strchr(line, '\n')) {
        }
    }

    bool fail_next_in_library(const Step& step) {
        std::wstring problem;
        if (SUCCEEDED(mapi_.fail_next(step.operation, &problem))) return true;
        print_error(L"line " + std::to_wstring(step.line) + L": " + problem);
        return false;
    }

    // Outlook may shut the add-ins down while a save pumps messages.
    bool disconnect_in_next_save_as(const Step& step) {
        std::wstring problem;
        if (SUCCEEDED(mapi_.call_in_next_save_as(&Session::disconnect_now, this, &problem)))
            return true;
        print_error(L"line " + std::to_wstring(step.line) + L": " + problem);
        return false;
    }

    static void WINAPI disconnect_now(void* session) {
        try {
            static_cast<Session*>(session)->addins_.disconnect();
            print_line(std::string("disconnected"));
        } catch (...) {
            print_error(L"the disconnection inside SaveAs failed");
        }
    }

    // A message box runs a message loop of its own, in which Outlook goes on
    // sending: the next box shown on this thread sends a message from its
    // loop (a timer), then closes.
    void send_in_next_message_box(const std::wstring& subject) {
        boxStep_.action = Step::Action::Send;
        boxStep_.subject = subject;
        boxSession_ = this;
        boxHook_.reset(::SetWindowsHookExW(WH_CBT, &Session::on_window_event, nullptr,
                                           ::GetCurrentThreadId()));
        if (!boxHook_) print_error(L"cannot watch for message boxes");
    }

    static LRESULT CALLBACK on_window_event(int code, WPARAM wParam, LPARAM lParam) {
        wchar_t className[16] = {};
        if (code == HCBT_ACTIVATE && boxSession_ &&
            ::GetClassNameW(reinterpret_cast<HWND>(wParam), className, 16) &&
            std::wstring(className) == L"#32770") {
            boxSession_->boxHook_.reset();
            ::SetTimer(reinterpret_cast<HWND>(wParam), 1, 10, &Session::on_box_timer);
        }
        return ::CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static void CALLBACK on_box_timer(HWND box, UINT, UINT_PTR id, DWORD) {
        ::KillTimer(box, id);
        Session* session = std::exchange(boxSession_, nullptr);
        if (session) {
            try {
                session->send(session->boxStep_);
            } catch (...) {
                print_error(L"the send inside the message box failed");
            }
        }
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    }

    struct Unhook {
        void operator()(HHOOK hook) const noexcept { ::UnhookWindowsHookEx(hook); }
    };

    bool created(const Step& step, HRESULT hr) {
        if (SUCCEEDED(hr)) return true;
        print_error(L"line " + std::to_wstring(step.line) + L": cannot create the item");
        return false;
    }

    void record(const FireStats& stats) {
        if (stats.sinksCalled > 0) times_.add(stats.microsecondsInSinks);
    }

    const Options& options_;
    AddinHost addins_;
    MapiLibrary mapi_;
    EventTimes times_;
    ComPtr<Application> application_;
    Step boxStep_{};
    unique_any<HHOOK, Unhook> boxHook_;
    static Session* boxSession_;
};

Session* Session::boxSession_ = nullptr;

} // namespace

int run_host(const Options& options, const std::vector<Step>& steps) {
    // Outlook's main thread is a single-threaded apartment; everything happens on it.
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        print_error(L"cannot initialise COM");
        return 1;
    }
    int status = 0;
    {
        Session session(options);
        session.start();
        for (const Step& step : steps) {
            if (!session.play(step)) {
                status = 1;
                break;
            }
        }
        session.stop();
        session.report();
        if (status == 0 && session.any_connect_failed()) status = 2;
    }
    ::CoUninitialize();
    return status;
}

} // namespace qs::standin
