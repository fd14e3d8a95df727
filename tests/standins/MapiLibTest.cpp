// qsMapiLib.dll in-process, created through its registration as an add-in
// creates it: SafeMailItem, MAPIUtils and NewMail, described errors, injected
// faults and registration for the current user.
#include "HostFaults.h"
#include "Item.h"
#include "MapiChannel.h"
#include "Redemption.h"
#include "SampleMail.h"
#include "TestSink.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <string>

using Microsoft::WRL::ComPtr;
using namespace qs::standin;

namespace {

// A fresh folder: process IDs come back under Wine, and with them an earlier run's files.
std::wstring TempFolder() {
    wchar_t path[MAX_PATH];
    ::GetTempPathW(MAX_PATH, path);
    std::wstring folder =
        std::wstring(path) + L"qs-mapilib-test-" + std::to_wstring(::GetCurrentProcessId());
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

bool IsCompoundFile(const std::wstring& path) {
    return ::StgIsStorageFile(path.c_str()) == S_OK;
}

class MapiLib : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        ASSERT_HRESULT_SUCCEEDED(Create(L"qsMapiLib.SafeMailItem", &wrapper_));
        library_ = ::GetModuleHandleW(L"qsMapiLib.dll");
        ASSERT_NE(library_, nullptr);
        liveObjects_ = reinterpret_cast<LiveObjectsFunction>(
            reinterpret_cast<void*>(::GetProcAddress(library_, "QsMapiLiveObjects")));
        failNext_ = reinterpret_cast<FailNextFunction>(
            reinterpret_cast<void*>(::GetProcAddress(library_, "QsMapiFailNext")));
        raiseNewMail_ = reinterpret_cast<RaiseNewMailFunction>(
            reinterpret_cast<void*>(::GetProcAddress(library_, "QsMapiRaiseNewMail")));
        ASSERT_TRUE(liveObjects_ && failNext_ && raiseNewMail_);
        ASSERT_HRESULT_SUCCEEDED(CreateItem(ItemKind::Mail, SampleSentMail(L"Wrapped"), &item_));
        folder_ = TempFolder();
    }
    void TearDown() override {
        wrapper_.Reset();
        item_.Reset();
        EXPECT_EQ(liveObjects_(), 0) << "a library object outlived its test";
        ::CoUninitialize();
    }

    static HRESULT Create(const wchar_t* progId, IDispatch** object) {
        CLSID clsid;
        const HRESULT hr = ::CLSIDFromProgID(progId, &clsid);
        return FAILED(hr) ? hr
                          : ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                               reinterpret_cast<void**>(object));
    }

    HRESULT PutItem(IDispatch* item, WORD flags = DISPATCH_PROPERTYPUT,
                    std::wstring* error = nullptr) {
        return Call(wrapper_.Get(), L"Item", flags, {DispatchArg(item)}, nullptr, error);
    }

    // SaveAs with the path by reference and the format as the given variant.
    HRESULT SaveAs(const std::wstring& path, VARIANT format, std::wstring* error = nullptr) {
        qs::unique_bstr text(::SysAllocString(path.c_str()));
        BSTR value = text.get();
        VARIANT pathArg;
        pathArg.vt = VT_BSTR | VT_BYREF;
        pathArg.pbstrVal = &value;
        return Call(wrapper_.Get(), L"SaveAs", DISPATCH_METHOD, {format, pathArg}, nullptr, error);
    }

    static VARIANT I2(SHORT value) {
        VARIANT v;
        v.vt = VT_I2;
        v.iVal = value;
        return v;
    }

    ComPtr<IDispatch> wrapper_, item_;
    HMODULE library_ = nullptr;
    LiveObjectsFunction liveObjects_ = nullptr;
    FailNextFunction failNext_ = nullptr;
    RaiseNewMailFunction raiseNewMail_ = nullptr;
    std::wstring folder_;
};

TEST_F(MapiLib, SafeMailItemWrapsAnItemSetByPutOrPutRefAndReadsItsSubject) {
    ASSERT_HRESULT_SUCCEEDED(PutItem(item_.Get()));
    EXPECT_EQ(TextOf(wrapper_.Get(), L"Subject"), L"Wrapped");
    qs::unique_variant got;
    ASSERT_HRESULT_SUCCEEDED(Call(wrapper_.Get(), L"Item", DISPATCH_PROPERTYGET, {}, got.put()));
    EXPECT_EQ(got.pdispVal, item_.Get());

    ComPtr<IDispatch> other;
    ASSERT_HRESULT_SUCCEEDED(
        CreateItem(ItemKind::Mail, SampleReceivedMail(L"Other", LocalNow()), &other));
    ASSERT_HRESULT_SUCCEEDED(PutItem(other.Get(), DISPATCH_PROPERTYPUTREF));
    EXPECT_EQ(TextOf(wrapper_.Get(), L"Subject"), L"Other");
}

TEST_F(MapiLib, WithoutAnItemSubjectAndSaveAsFailWithADescription) {
    std::wstring error;
    EXPECT_EQ(Call(wrapper_.Get(), L"Subject", DISPATCH_PROPERTYGET, {}, nullptr, &error),
              DISP_E_EXCEPTION);
    EXPECT_EQ(error, L"No item is set: set the Item property first.");
    EXPECT_EQ(SaveAs(folder_ + L"\\none.msg", I2(3), &error), DISP_E_EXCEPTION);
    EXPECT_EQ(error, L"No item is set: set the Item property first.");
}

TEST_F(MapiLib, SaveAsWritesACompoundFileInBothFormatsAndReplacesAnExistingFile) {
    ASSERT_HRESULT_SUCCEEDED(PutItem(item_.Get()));
    const std::wstring ansi = folder_ + L"\\ansi.msg", unicode = folder_ + L"\\unicode.msg";
    // A file of that name is already there: it is replaced.
    qs::unique_hfile old(
        ::CreateFileW(ansi.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(old.get(), "not a message", 13, &written, nullptr);
    old.reset();

    EXPECT_HRESULT_SUCCEEDED(SaveAs(ansi, I2(3)));
    EXPECT_TRUE(IsCompoundFile(ansi));
    VARIANT format;
    format.vt = VT_I4;
    format.lVal = 9;
    EXPECT_HRESULT_SUCCEEDED(SaveAs(unicode, format));
    EXPECT_TRUE(IsCompoundFile(unicode));
    // The path by value and the format left out (olMSG).
    qs::unique_bstr path(::SysAllocString((folder_ + L"\\default.msg").c_str()));
    EXPECT_HRESULT_SUCCEEDED(
        Call(wrapper_.Get(), L"SaveAs", DISPATCH_METHOD, {TextArg(path.get())}));
    EXPECT_TRUE(IsCompoundFile(folder_ + L"\\default.msg"));
}

TEST_F(MapiLib, SaveAsFailsWithADescriptionForBadPathsAndFormats) {
    ASSERT_HRESULT_SUCCEEDED(PutItem(item_.Get()));
    std::wstring error;
    const std::wstring missing = folder_ + L"\\no such folder\\x.msg";
    EXPECT_EQ(SaveAs(missing, I2(3), &error), DISP_E_EXCEPTION);
    EXPECT_EQ(error.rfind(L"Cannot create file " + missing + L": ", 0), 0u) << error;
    EXPECT_GT(error.size(), (L"Cannot create file " + missing + L": ").size()) << error;

    const std::wstring tooLong = folder_ + L"\\" + std::wstring(300, L'a') + L".msg";
    EXPECT_EQ(SaveAs(tooLong, I2(3), &error), DISP_E_EXCEPTION);
    EXPECT_EQ(error.rfind(L"Cannot create file " + tooLong + L": ", 0), 0u) << error;

    const std::wstring invalid = folder_ + L"\\what?.msg";
    EXPECT_EQ(SaveAs(invalid, I2(3), &error), DISP_E_EXCEPTION);
    EXPECT_EQ(error.rfind(L"Cannot create file " + invalid + L": ", 0), 0u) << error;
    EXPECT_EQ(::GetFileAttributesW(invalid.c_str()), INVALID_FILE_ATTRIBUTES);

    EXPECT_EQ(SaveAs(folder_ + L"\\rtf.msg", I2(1), &error), DISP_E_EXCEPTION);
    EXPECT_EQ(error, L"The format 1 is not supported: use 3 (olMSG) or 9 (olMSGUnicode).");
    qs::unique_bstr word(::SysAllocString(L"msg"));
    EXPECT_EQ(SaveAs(folder_ + L"\\word.msg", TextArg(word.get()), &error), DISP_E_EXCEPTION);
    EXPECT_NE(error.find(L"number"), std::wstring::npos) << error;
}

TEST_F(MapiLib, MAPIUtilsRaisesNewMailWithAMessageItemOnEveryLiveObject) {
    ComPtr<IDispatch> utils, second;
    ASSERT_HRESULT_SUCCEEDED(Create(L"qsMapiLib.MAPIUtils", &utils));
    ASSERT_HRESULT_SUCCEEDED(Create(L"qsMapiLib.MAPIUtils", &second));
    ComPtr<IUnknown> typed;
    EXPECT_HRESULT_SUCCEEDED(utils->QueryInterface(IID_IMAPIUtils, &typed));

    // The add-in's way to NewMail's DISPID: the object's type library, then the source interface.
    ComPtr<ITypeInfo> info, events;
    ComPtr<ITypeLib> library;
    UINT index = 0;
    ASSERT_HRESULT_SUCCEEDED(utils->GetTypeInfo(0, 0, &info));
    ASSERT_HRESULT_SUCCEEDED(info->GetContainingTypeLib(&library, &index));
    ASSERT_HRESULT_SUCCEEDED(library->GetTypeInfoOfGuid(DIID_IMAPIUtilsEvents, &events));
    DISPID newMail = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"NewMail")};
    ASSERT_HRESULT_SUCCEEDED(events->GetIDsOfNames(names, 1, &newMail));

    auto sink = MakeSink(DIID_IMAPIUtilsEvents);
    auto secondSink = MakeSink(DIID_IMAPIUtilsEvents);
    ComPtr<IConnectionPoint> point, secondPoint;
    DWORD cookie = 0, secondCookie = 0;
    ASSERT_HRESULT_SUCCEEDED(
        Advise(utils.Get(), DIID_IMAPIUtilsEvents, sink.Get(), &point, &cookie));
    ASSERT_HRESULT_SUCCEEDED(
        Advise(second.Get(), DIID_IMAPIUtilsEvents, secondSink.Get(), &secondPoint, &secondCookie));

    ULONG sinks = 0;
    double microseconds = -1;
    ASSERT_HRESULT_SUCCEEDED(raiseNewMail_(item_.Get(), &sinks, &microseconds));
    EXPECT_EQ(sinks, 2u);
    EXPECT_GE(microseconds, 0.0);
    ASSERT_EQ(sink->calls.size(), 1u);
    EXPECT_EQ(secondSink->calls.size(), 1u);
    EXPECT_EQ(sink->calls[0].id, newMail);
    IDispatch* message = sink->calls[0].item.Get();
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(TypeNameOf(message), L"_MessageItem");
    EXPECT_EQ(TextOf(message, L"Subject"), L"Wrapped");
    EXPECT_EQ(TextOf(message, L"SenderName"), L"Quinn Owner");

    // Its Save is the host item's: a failure there comes back described.
    FailNextSave();
    std::wstring error;
    EXPECT_EQ(Call(message, L"Save", DISPATCH_METHOD, {}, nullptr, &error), DISP_E_EXCEPTION);
    EXPECT_EQ(error, L"Cannot save the item: the message store is not available.");
    // A SafeMailItem reads it as it reads a host item.
    ASSERT_HRESULT_SUCCEEDED(PutItem(message));
    EXPECT_EQ(TextOf(wrapper_.Get(), L"Subject"), L"Wrapped");
    ASSERT_HRESULT_SUCCEEDED(PutItem(nullptr));

    sink->calls.clear();
    secondSink->calls.clear();
    ASSERT_HRESULT_SUCCEEDED(point->Unadvise(cookie));
    ASSERT_HRESULT_SUCCEEDED(secondPoint->Unadvise(secondCookie));
    point.Reset();
    secondPoint.Reset();
    utils.Reset();
    second.Reset();
    ASSERT_HRESULT_SUCCEEDED(raiseNewMail_(item_.Get(), &sinks, &microseconds));
    EXPECT_EQ(sinks, 0u) << "nothing fires without a live MAPIUtils";
}

TEST_F(MapiLib, InjectedFaultsFailTheNextCallOnceWithADescription) {
    std::wstring error;
    ASSERT_HRESULT_SUCCEEDED(failNext_(L"item"));
    EXPECT_EQ(PutItem(item_.Get(), DISPATCH_PROPERTYPUT, &error), DISP_E_EXCEPTION);
    EXPECT_EQ(error, L"Injected failure of setting Item.");
    ASSERT_HRESULT_SUCCEEDED(PutItem(item_.Get()));

    ASSERT_HRESULT_SUCCEEDED(failNext_(L"subject"));
    EXPECT_EQ(Call(wrapper_.Get(), L"Subject", DISPATCH_PROPERTYGET, {}, nullptr, &error),
              DISP_E_EXCEPTION);
    EXPECT_EQ(error, L"Injected failure of reading Subject.");
    EXPECT_EQ(TextOf(wrapper_.Get(), L"Subject"), L"Wrapped");

    ASSERT_HRESULT_SUCCEEDED(failNext_(L"saveas"));
    const std::wstring path = folder_ + L"\\fault.msg";
    EXPECT_EQ(SaveAs(path, I2(3), &error), DISP_E_EXCEPTION);
    EXPECT_EQ(error, L"Injected failure of SaveAs.");
    EXPECT_FALSE(IsCompoundFile(path));
    EXPECT_HRESULT_SUCCEEDED(SaveAs(path, I2(3)));

    ASSERT_HRESULT_SUCCEEDED(failNext_(L"wrapper"));
    ComPtr<IDispatch> refused, accepted;
    EXPECT_EQ(Create(L"qsMapiLib.SafeMailItem", &refused), E_FAIL);
    EXPECT_HRESULT_SUCCEEDED(Create(L"qsMapiLib.SafeMailItem", &accepted));

    EXPECT_EQ(failNext_(L"everything"), E_INVALIDARG);
}

TEST_F(MapiLib, LiveObjectsCountWrappersUntilReleased) {
    const LONG before = liveObjects_();
    ComPtr<IDispatch> another;
    ASSERT_HRESULT_SUCCEEDED(Create(L"qsMapiLib.SafeMailItem", &another));
    EXPECT_EQ(liveObjects_(), before + 1);
    another.Reset();
    EXPECT_EQ(liveObjects_(), before);
}

TEST_F(MapiLib, RegistrationForTheCurrentUserIsWrittenAndRemoved) {
    using Install = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);
    const auto install = reinterpret_cast<Install>(
        reinterpret_cast<void*>(::GetProcAddress(library_, "DllInstall")));
    ASSERT_NE(install, nullptr);
    const wchar_t* key = L"Software\\Classes\\qsMapiLib.SafeMailItem\\CLSID";
    ASSERT_HRESULT_SUCCEEDED(install(TRUE, L"user"));
    wchar_t clsid[64] = {};
    DWORD size = sizeof clsid;
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, key, nullptr, RRF_RT_REG_SZ, nullptr, clsid, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(clsid, L"{2E359A9F-942B-4D69-B9CB-055A36E10A5A}");
    wchar_t server[MAX_PATH] = {};
    size = sizeof server;
    EXPECT_EQ(
        ::RegGetValueW(
            HKEY_CURRENT_USER,
            L"Software\\Classes\\CLSID\\{2E359A9F-942B-4D69-B9CB-055A36E10A5A}\\InprocServer32",
            nullptr, RRF_RT_REG_SZ, nullptr, server, &size),
        ERROR_SUCCESS);
    wchar_t loaded[MAX_PATH] = {};
    ::GetModuleFileNameW(library_, loaded, MAX_PATH);
    EXPECT_EQ(::lstrcmpiW(server, loaded), 0) << server;
    const wchar_t* typeLibrary =
        L"Software\\Classes\\TypeLib\\{916774FA-9D90-426C-8291-1E5E025F4FC6}\\6.0\\0\\win64";
    size = sizeof server;
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, typeLibrary, nullptr, RRF_RT_REG_SZ, nullptr,
                             server, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(::lstrcmpiW(server, loaded), 0) << server;

    ASSERT_HRESULT_SUCCEEDED(install(FALSE, L"user"));
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, key, nullptr, RRF_RT_REG_SZ, nullptr, clsid, &size),
              ERROR_FILE_NOT_FOUND);
    size = sizeof server;
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, typeLibrary, nullptr, RRF_RT_REG_SZ, nullptr,
                             server, &size),
              ERROR_FILE_NOT_FOUND);
    // Removing what is already gone succeeds; the machine-wide registration stays.
    EXPECT_HRESULT_SUCCEEDED(install(FALSE, L"user"));
    ComPtr<IDispatch> stillCreatable;
    EXPECT_HRESULT_SUCCEEDED(Create(L"qsMapiLib.SafeMailItem", &stillCreatable));
}

} // namespace
