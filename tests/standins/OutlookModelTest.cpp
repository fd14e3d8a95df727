// The Outlook stand-in's object model, in-process: what an add-in sees of the
// host's Application, NameSpace, folders, collections and items, and how
// ItemSend and ItemAdd reach their sinks.
#include "Application.h"
#include "HostFaults.h"
#include "Item.h"
#include "MapiProperties.h"
#include "SampleMail.h"
#include "TestSink.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

using Microsoft::WRL::ComPtr;
using namespace qs::standin;

namespace {

class OutlookModel : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        baseline_ = qs::ModuleObjectCount();
        application_ = qs::MakeObject<qs::standin::Application>(store_);
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

    // A default folder, or its items, by late-bound calls as an add-in makes them.
    ComPtr<IDispatch> Folder(long type, std::wstring* error = nullptr) {
        qs::unique_variant folder;
        VARIANT arg;
        arg.vt = VT_I4;
        arg.lVal = type;
        Call(Session().Get(), L"GetDefaultFolder", DISPATCH_METHOD, {arg}, folder.put(), error);
        return folder.vt == VT_DISPATCH ? folder.pdispVal : nullptr;
    }
    static ComPtr<IDispatch> ItemsOf(IDispatch* folder) {
        qs::unique_variant items;
        Call(folder, L"Items", DISPATCH_PROPERTYGET, {}, items.put());
        return items.vt == VT_DISPATCH ? items.pdispVal : nullptr;
    }
    ComPtr<IDispatch> Session() {
        ComPtr<_NameSpace> session;
        EXPECT_HRESULT_SUCCEEDED(application_->get_Session(&session));
        return ComPtr<IDispatch>(session.Get());
    }
    static StoredMessage Received(const wchar_t* subject, DATE time) {
        return ToStored(ItemKind::Mail, SampleReceivedMail(subject, time));
    }

    std::shared_ptr<MailStore> store_ = std::make_shared<MailStore>();
    ComPtr<qs::standin::Application> application_;
    LONG baseline_ = 0;
};

// The subjects of a walk with GetFirst and GetNext up to Nothing, or of a GetNext alone.
std::vector<std::wstring> Walk(IDispatch* items, const wchar_t* first = L"GetFirst") {
    std::vector<std::wstring> subjects;
    for (const wchar_t* step = first;; step = L"GetNext") {
        qs::unique_variant item;
        if (FAILED(Call(items, step, DISPATCH_METHOD, {}, item.put())) || item.vt != VT_DISPATCH ||
            !item.pdispVal)
            return subjects;
        subjects.push_back(TextOf(item.pdispVal, L"Subject"));
    }
}

HRESULT Sort(IDispatch* items, const wchar_t* property, std::vector<VARIANT> descending,
             std::wstring* error = nullptr) {
    qs::unique_bstr name(::SysAllocString(property));
    descending.push_back(TextArg(name.get()));
    return Call(items, L"Sort", DISPATCH_METHOD, descending, nullptr, error);
}

VARIANT Bool(bool value) {
    VARIANT arg;
    arg.vt = VT_BOOL;
    arg.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return arg;
}

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

// Outlook's Items documentation: a folder gives a new collection at each read
// of Items; indexes start at 1; Sort takes the property with or without
// brackets and resets the index to 1; GetFirst and GetNext give Nothing past
// the end. A collection sees messages filed after it was made.
TEST_F(OutlookModel, FoldersGiveNewCollectionsThatCountSortAndWalkAsOutlookDocuments) {
    const DATE day = 46215.0;
    store_->Messages(FolderId::Inbox) = {Received(L"Noon", day + 0.5),
                                         Received(L"Morning", day + 0.25),
                                         Received(L"Evening", day + 0.75)};
    const auto inbox = Folder(olFolderInbox);
    ASSERT_NE(inbox.Get(), nullptr);
    EXPECT_EQ(TextOf(inbox.Get(), L"Name"), L"Inbox");
    EXPECT_EQ(Folder(olFolderInbox).Get(), inbox.Get()) << "one folder object per session";
    EXPECT_EQ(TextOf(Folder(olFolderSentMail).Get(), L"Name"), L"Sent Items");
    std::wstring error;
    EXPECT_EQ(Folder(3, &error).Get(), nullptr);
    EXPECT_NE(error.find(L"type 3"), std::wstring::npos) << error;

    const auto items = ItemsOf(inbox.Get()), other = ItemsOf(inbox.Get());
    ASSERT_TRUE(items && other);
    EXPECT_NE(items.Get(), other.Get());
    EXPECT_EQ(TextOf(items.Get(), L"Count"), L"3");
    EXPECT_EQ(Walk(items.Get()), (std::vector<std::wstring>{L"Noon", L"Morning", L"Evening"}));
    for (long index : {0L, 4L}) {
        qs::unique_variant item;
        VARIANT arg;
        arg.vt = VT_I4;
        arg.lVal = index;
        EXPECT_EQ(Call(items.Get(), L"Item", DISPATCH_METHOD, {arg}, item.put(), &error),
                  DISP_E_EXCEPTION);
        EXPECT_EQ(error, L"Array index out of bounds.");
    }

    ASSERT_HRESULT_SUCCEEDED(Sort(items.Get(), L"[ReceivedTime]", {}));
    EXPECT_EQ(Walk(items.Get()), (std::vector<std::wstring>{L"Morning", L"Noon", L"Evening"}));
    qs::unique_variant past;
    ASSERT_HRESULT_SUCCEEDED(Call(items.Get(), L"GetNext", DISPATCH_METHOD, {}, past.put()));
    EXPECT_TRUE(past.vt == VT_DISPATCH && !past.pdispVal) << "Nothing stays Nothing";
    ASSERT_HRESULT_SUCCEEDED(Sort(items.Get(), L"ReceivedTime", {Bool(true)}));
    EXPECT_EQ(Walk(items.Get(), L"GetNext"), (std::vector<std::wstring>{L"Noon", L"Morning"}))
        << "after Sort the first item is the current one";
    EXPECT_EQ(Walk(other.Get()), (std::vector<std::wstring>{L"Noon", L"Morning", L"Evening"}));
    EXPECT_EQ(Sort(items.Get(), L"[Subject]", {Bool(true)}, &error), DISP_E_EXCEPTION);
    EXPECT_NE(error.find(L"Subject"), std::wstring::npos) << error;

    FireStats stats;
    application_->File(FolderId::Inbox, Received(L"Night", day + 0.9), stats);
    EXPECT_EQ(TextOf(items.Get(), L"Count"), L"4");
    EXPECT_EQ(Walk(items.Get()),
              (std::vector<std::wstring>{L"Night", L"Evening", L"Noon", L"Morning"}));
}

// ItemAdd goes to the collections of the folder filed in that are still
// alive: a collection its client let go of (still advised) raises nothing.
TEST_F(OutlookModel, ItemAddReachesTheLiveCollectionsOfItsFolderOnly) {
    FireStats stats;
    application_->File(FolderId::Inbox, Received(L"Unseen", LocalNow()), stats);
    EXPECT_EQ(stats.sinksCalled, 0u);

    const auto inbox = Folder(olFolderInbox), sentItems = Folder(olFolderSentMail);
    auto kept = ItemsOf(inbox.Get()), dropped = ItemsOf(inbox.Get());
    const auto sent = ItemsOf(sentItems.Get());
    auto keptSink = MakeSink(DIID_ItemsEvents), droppedSink = MakeSink(DIID_ItemsEvents),
         sentSink = MakeSink(DIID_ItemsEvents);
    ComPtr<IConnectionPoint> keptPoint, droppedPoint, sentPoint;
    DWORD keptCookie = 0, droppedCookie = 0, sentCookie = 0;
    ASSERT_HRESULT_SUCCEEDED(
        Advise(kept.Get(), DIID_ItemsEvents, keptSink.Get(), &keptPoint, &keptCookie));
    ASSERT_HRESULT_SUCCEEDED(
        Advise(dropped.Get(), DIID_ItemsEvents, droppedSink.Get(), &droppedPoint, &droppedCookie));
    ASSERT_HRESULT_SUCCEEDED(
        Advise(sent.Get(), DIID_ItemsEvents, sentSink.Get(), &sentPoint, &sentCookie));
    droppedPoint.Reset();
    dropped.Reset();

    const StoredMessage arrived = Received(L"Arrived", LocalNow());
    application_->File(FolderId::Inbox, arrived, stats);
    EXPECT_EQ(stats.sinksCalled, 1u);
    ASSERT_EQ(keptSink->calls.size(), 1u);
    EXPECT_EQ(keptSink->calls[0].id, 0xF001);
    EXPECT_EQ(keptSink->calls[0].types, std::vector<VARTYPE>{VT_DISPATCH});
    EXPECT_EQ(TextOf(keptSink->calls[0].item.Get(), L"EntryID"), arrived.entryId);
    EXPECT_TRUE(droppedSink->calls.empty());
    EXPECT_TRUE(sentSink->calls.empty());
    ASSERT_HRESULT_SUCCEEDED(keptPoint->Unadvise(keptCookie));
    ASSERT_HRESULT_SUCCEEDED(sentPoint->Unadvise(sentCookie));
}

// Outlook's PropertyAccessor.GetProperty: the property's own type, and an
// error when the item has no such property (MAPI_E_NOT_FOUND, described).
TEST_F(OutlookModel, PropertyAccessorGivesTheSearchKeyAndMessageIdOrOutlooksNotFound) {
    const ItemFields received = SampleReceivedMail(L"Tagged", LocalNow());
    ComPtr<IDispatch> item;
    ASSERT_HRESULT_SUCCEEDED(CreateItem(ItemKind::Mail, received, &item));
    auto get = [](IDispatch* of, ULONG tag, VARIANT* value, std::wstring* error = nullptr) {
        qs::unique_variant accessor;
        qs::unique_bstr name(::SysAllocString(PropTagSchemaName(tag).c_str()));
        HRESULT hr = Call(of, L"PropertyAccessor", DISPATCH_PROPERTYGET, {}, accessor.put());
        if (SUCCEEDED(hr))
            hr = Call(accessor.pdispVal, L"GetProperty", DISPATCH_METHOD, {TextArg(name.get())},
                      value, error);
        return hr;
    };
    qs::unique_variant key, id;
    ASSERT_HRESULT_SUCCEEDED(get(item.Get(), kPrSearchKey, key.put()));
    ASSERT_EQ(key.vt, VT_ARRAY | VT_UI1);
    ASSERT_EQ(key.parray->rgsabound[0].cElements, 16u);
    EXPECT_EQ(std::memcmp(key.parray->pvData, received.searchKey.data(), 16), 0);
    ASSERT_HRESULT_SUCCEEDED(get(item.Get(), kPrInternetMessageId, id.put()));
    EXPECT_EQ(id.vt, VT_BSTR);
    EXPECT_EQ(std::wstring(id.bstrVal), received.internetMessageId);

    std::wstring error;
    EXPECT_EQ(get(Mail(L"Not sent").Get(), kPrInternetMessageId, id.put(), &error),
              DISP_E_EXCEPTION);
    EXPECT_EQ(error, L"The property \"http://schemas.microsoft.com/mapi/proptag/0x1035001F\" is "
                     L"unknown or cannot be found.");
    EXPECT_EQ(get(item.Get(), 0x0037001F, id.put(), &error), DISP_E_EXCEPTION);
    EXPECT_NE(error.find(L"0x0037001F"), std::wstring::npos) << error;
}

} // namespace
