#include "Host.h"

#include "AddinHost.h"
#include "Application.h"
#include "EventTimes.h"
#include "HostFaults.h"
#include "MapiLibrary.h"
#include "Output.h"
#include "ProcessMemory.h"
#include "SampleMail.h"
#include "unique.h"

#include <objbase.h>
#include <wrl/client.h>

namespace qs::standin {

namespace {

using Microsoft::WRL::ComPtr;

class Session {
public:
    Session(const Options& options) : options_(options), addins_(options.addins, options.timing) {}

    void start() {
        application_ = make_object<Application>();
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
        }
        return false;
    }

    void report() {
        const long live = live_object_count() + mapi_.live_objects();
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
        print_line(std::string("received"));
        return true;
    }

    bool fail_next_in_library(const Step& step) {
        std::wstring problem;
        if (SUCCEEDED(mapi_.fail_next(step.operation, &problem))) return true;
        print_error(L"line " + std::to_wstring(step.line) + L": " + problem);
        return false;
    }

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
};

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
