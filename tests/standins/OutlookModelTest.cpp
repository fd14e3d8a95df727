// The Outlook stand-in's object model, in-process: what an add-in sees of the
// host's Application, NameSpace and items, and how ItemSend reaches its sinks.
#include "Application.h"
#include "HostFaults.h"
#include "Item.h"
#include "SampleMail.h"
#include "TestSink.h"

#include <gtest/gtest.h>

using Microsoft::WRL::ComPtr;
using namespace qs::standin;

namespace {

class OutlookModel : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        baseline_ = qs::ModuleObjectCount();
        application_ = qs::MakeObject<qs::standin::Application>();
    }
    void TearDown() override {
        application_.Reset();
        EXPECT_EQ(qs::ModuleObjectCount(), baseline_) << "a stand-in object outlived its test";
        ::CoUninitialize();
    }
    IDispatch* App() { return static_cast<_Application*>(application_.Get()); }

    ComPtr<IDispatch> Mail(const wchar_t* subject) {
        ComPtr<IDispatch> item;
        EXPECT_HRESULT_SUCCEEDED(CreateItem(ItemKind::Mail, SampleSentMail(subject), &item));
        return item;
    }

    ComPtr<qs::standin::Application> application_;
    LONG baseline_ = 0;
};

TEST_F(OutlookModel, ItemsNameTheirInterfaceAsOutlookDoesAndReportTheirClass) {
    struct Expected {
        ItemKind kind;
        const wchar_t* interfaceName;
        const wchar_t* messageClass;
        const wchar_t* olClass;
    };
    const Expected kinds[] = {
        {ItemKind::Mail, L"_MailItem", L"IPM.Note", L"43"},
        {ItemKind::Appointment, L"_AppointmentItem", L"IPM.Appointment", L"26"},
        {ItemKind::Meeting, L"_MeetingItem", L"IPM.Schedule.Meeting.Request", L"53"},
        {ItemKind::TaskRequest, L"_TaskRequestItem", L"IPM.TaskRequest", L"49"},
        {ItemKind::Report, L"_ReportItem", L"REPORT.IPM.Note.NDR", L"46"},
    };
    for (const auto& expected : kinds) {
        ComPtr<IDispatch> item;
        ASSERT_HRESULT_SUCCEEDED(CreateItem(expected.kind, SampleSentMail(L"Kinds"), &item));
        EXPECT_EQ(TypeNameOf(item.Get()), expected.interfaceName);
        EXPECT_EQ(TextOf(item.Get(), L"MessageClass"), expected.messageClass);
        EXPECT_EQ(TextOf(item.Get(), L"Class"), expected.olClass);
        EXPECT_EQ(TextOf(item.Get(), L"Subject"), L"Kinds");
    }
}

TEST_F(OutlookModel, MailItemAnswersByOutlooksDispidsAndOnlyForItsOwnInterface) {
    const auto item = Mail(L"Offer: 12/2006");
    // Outlook's DISPIDs: Subject 0x37, Save 0xF048, SenderName 0xC1A, To 0xE04.
    for (const auto& [name, id] : {std::pair{L"Subject", 0x37},
                                   {L"Save", 0xF048},
                                   {L"SenderName", 0xC1A},
                                   {L"To", 0xE04},
                                   {L"SentOn", 0x39}}) {
        DISPID found = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        ASSERT_HRESULT_SUCCEEDED(item->GetIDsOfNames(IID_NULL, names, 1, 0, &found));
        EXPECT_EQ(found, id) << name;
    }
    EXPECT_EQ(TextOf(item.Get(), L"To"), L"Ada Recipient; Ben Recipient");
    EXPECT_EQ(TextOf(item.Get(), L"SenderEmailAddress"), L"quinn.owner@example.com");
    const IID appointment = {0x00063033, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    ComPtr<IUnknown> other;
    EXPECT_EQ(item->QueryInterface(appointment, &other), E_NOINTERFACE);
}

TEST_F(OutlookModel, ApplicationGivesOneMapiSessionAndRefusesOtherNamespaces) {
    EXPECT_EQ(TextOf(App(), L"Name"), L"Outlook");
    EXPECT_EQ(TextOf(App(), L"Version"), L"16.0.0.0");
    application_->SetVersion(L"9.0.0.3821");
    EXPECT_EQ(TextOf(App(), L"Version"), L"9.0.0.3821");

    qs::unique_bstr mapi(::SysAllocString(L"MAPI"));
    qs::unique_variant first, second;
    ASSERT_HRESULT_SUCCEEDED(
        Call(App(), L"GetNamespace", DISPATCH_METHOD, {TextArg(mapi.get())}, first.put()));
    ASSERT_EQ(first.vt, VT_DISPATCH);
    const IID nameSpace = {0x00063002, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    ComPtr<IUnknown> typed;
    EXPECT_HRESULT_SUCCEEDED(first.pdispVal->QueryInterface(nameSpace, &typed));
    ASSERT_HRESULT_SUCCEEDED(
        Call(App(), L"GetNamespace", DISPATCH_METHOD, {TextArg(mapi.get())}, second.put()));
    EXPECT_EQ(first.pdispVal, second.pdispVal);

    qs::unique_bstr other(::SysAllocString(L"POP3"));
    std::wstring description;
    EXPECT_EQ(Call(App(), L"GetNamespace", DISPATCH_METHOD, {TextArg(other.get())}, nullptr,
                   &description),
              DISP_E_EXCEPTION);
    EXPECT_NE(description.find(L"POP3"), std::wstring::npos) << description;
}

TEST_F(OutlookModel, ItemSendReachesSinksOfBothEventInterfacesInOutlooksArgumentOrder) {
    auto classic = MakeSink(DIID_ApplicationEvents);
    auto eleven = MakeSink(DIID_ApplicationEvents_11);
    ComPtr<IConnectionPoint> classicPoint, elevenPoint;
    DWORD classicCookie = 0, elevenCookie = 0;
    ASSERT_HRESULT_SUCCEEDED(
        Advise(App(), DIID_ApplicationEvents, classic.Get(), &classicPoint, &classicCookie));
    ASSERT_HRESULT_SUCCEEDED(
        Advise(App(), DIID_ApplicationEvents_11, eleven.Get(), &elevenPoint, &elevenCookie));

    const auto item = Mail(L"Both");
    FireStats stats;
    EXPECT_FALSE(application_->ItemSend(item.Get(), stats));
    EXPECT_EQ(stats.sinksCalled, 2u);
    for (TestSink* sink : {classic.Get(), eleven.Get()}) {
        ASSERT_EQ(sink->calls.size(), 1u);
        const SinkCall& call = sink->calls[0];
        EXPECT_EQ(call.id, 0xF002);
        ASSERT_EQ(call.types.size(), 2u);
        EXPECT_EQ(call.types[0], VT_BOOL | VT_BYREF); // Cancel, the last argument
        EXPECT_EQ(call.types[1], VT_DISPATCH);        // the item, the first
        EXPECT_EQ(call.item.Get(), item.Get());
    }

    ASSERT_HRESULT_SUCCEEDED(classicPoint->Unadvise(classicCookie));
    EXPECT_EQ(classicPoint->Unadvise(classicCookie), CONNECT_E_NOCONNECTION);
    application_->ItemSend(item.Get(), stats);
    EXPECT_EQ(classic->calls.size(), 1u);
    EXPECT_EQ(eleven->calls.size(), 2u);
    ASSERT_HRESULT_SUCCEEDED(elevenPoint->Unadvise(elevenCookie));
}

TEST_F(OutlookModel, ASinkThatSetsCancelCancelsTheSend) {
    auto cancelling = MakeSink(DIID_ApplicationEvents, [](DISPPARAMS* params) {
        *params->rgvarg[0].pboolVal = VARIANT_TRUE;
    });
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    ASSERT_HRESULT_SUCCEEDED(
        Advise(App(), DIID_ApplicationEvents, cancelling.Get(), &point, &cookie));
    FireStats stats;
    EXPECT_TRUE(application_->ItemSend(Mail(L"Stop").Get(), stats));
    ASSERT_HRESULT_SUCCEEDED(point->Unadvise(cookie));
    EXPECT_FALSE(application_->ItemSend(Mail(L"Go").Get(), stats));
}

TEST_F(OutlookModel, ConnectionPointsRefuseSinksAndInterfacesTheyDoNotKnow) {
    ComPtr<IConnectionPointContainer> container;
    ASSERT_HRESULT_SUCCEEDED(App()->QueryInterface(IID_PPV_ARGS(&container)));
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(DIID_NameSpaceEvents, &point), CONNECT_E_NOCONNECTION);
    ASSERT_HRESULT_SUCCEEDED(container->FindConnectionPoint(DIID_ApplicationEvents, &point));
    auto wrongSink = MakeSink(IID_NULL); // implements no event interface
    DWORD cookie = 99;
    EXPECT_EQ(point->Advise(wrongSink.Get(), &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);

    ComPtr<_NameSpace> session;
    ASSERT_HRESULT_SUCCEEDED(application_->get_Session(&session));
    ComPtr<IConnectionPointContainer> sessionEvents;
    ASSERT_HRESULT_SUCCEEDED(session.As(&sessionEvents));
    EXPECT_HRESULT_SUCCEEDED(sessionEvents->FindConnectionPoint(DIID_NameSpaceEvents, &point));
}

TEST_F(OutlookModel, SaveFailsOnceWithADescriptionWhenTold) {
    const auto item = Mail(L"Fault");
    EXPECT_HRESULT_SUCCEEDED(Call(item.Get(), L"Save", DISPATCH_METHOD, {}));
    FailNextSave();
    std::wstring description;
    EXPECT_EQ(Call(item.Get(), L"Save", DISPATCH_METHOD, {}, nullptr, &description),
              DISP_E_EXCEPTION);
    EXPECT_EQ(description, L"Cannot save the item: the message store is not available.");
    EXPECT_HRESULT_SUCCEEDED(Call(item.Get(), L"Save", DISPATCH_METHOD, {}));
}

TEST_F(OutlookModel, LiveObjectsCountEveryObjectUntilItsLastReferenceGoes) {
    const LONG before = qs::ModuleObjectCount();
    auto item = Mail(L"Counted");
    ComPtr<_NameSpace> session;
    ASSERT_HRESULT_SUCCEEDED(application_->get_Session(&session));
    EXPECT_EQ(qs::ModuleObjectCount(), before + 2);
    IDispatch* kept = item.Get();
    kept->AddRef();
    item.Reset();
    EXPECT_EQ(qs::ModuleObjectCount(), before + 2);
    kept->Release();
    session.Reset();
    // The Application holds its session, as Outlook does.
    EXPECT_EQ(qs::ModuleObjectCount(), before + 1);
}

} // namespace
