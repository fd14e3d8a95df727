// The Settings class, driven through its dual interface and by name through
// IDispatch as an automation client would.
#include "Settings.h"
#include "SettingsKey.h"
#include "unique.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;
using testing_support::AdministratorKeys;
using testing_support::MessageCapture;
using testing_support::SettingsKey;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        ASSERT_HRESULT_SUCCEEDED(Settings_CreateInstance(IID_PPV_ARGS(&settings_)));
    }
    void TearDown() override {
        settings_.Reset();
        ::CoUninitialize();
    }

    short Flag(HRESULT (STDMETHODCALLTYPE _Settings::*get)(short*)) {
        short value = 99;
        EXPECT_HRESULT_SUCCEEDED((settings_.Get()->*get)(&value));
        return value;
    }
    std::wstring Text(HRESULT (STDMETHODCALLTYPE _Settings::*get)(BSTR*)) {
        qs::unique_bstr value;
        EXPECT_HRESULT_SUCCEEDED((settings_.Get()->*get)(value.put()));
        return std::wstring(value.get(), ::SysStringLen(value.get()));
    }

    SettingsKey key_;
    MessageCapture messages_;
    ComPtr<_Settings> settings_;
};

TEST_F(SettingsTest, LoadWithoutTheKeyLeavesEveryDefaultAndShowsNothing) {
    settings_->put_EnabledIn(1);
    settings_->put_Logging(1);
    qs::unique_bstr folder(::SysAllocString(L"C:\\Old"));
    settings_->put_FolderIn(folder.get());

    qs::unique_variant result;
    ASSERT_HRESULT_SUCCEEDED(settings_->Load(result.put()));
    EXPECT_EQ(result.vt, VT_EMPTY);
    EXPECT_EQ(Flag(&_Settings::get_EnabledIn), 0);
    EXPECT_EQ(Flag(&_Settings::get_EnabledOut), 0);
    EXPECT_EQ(Text(&_Settings::get_FolderIn), L"");
    EXPECT_EQ(Text(&_Settings::get_FolderOut), L"");
    EXPECT_EQ(Flag(&_Settings::get_Logging), 0);
    EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(SettingsTest, LoadReadsEachValueOnItsOwn) {
    SettingsKey::SetDword(L"EnabledIn", 70000); // cannot be a flag
    SettingsKey::SetDword(L"EnabledOut", 1);
    SettingsKey::SetText(L"FolderIn", L"C:\\Archive\\In");
    SettingsKey::SetDword(L"Logging", 1);
    // FolderOut is missing.

    qs::unique_variant result;
    ASSERT_HRESULT_SUCCEEDED(settings_->Load(result.put()));
    EXPECT_EQ(Flag(&_Settings::get_EnabledIn), 0);
    EXPECT_EQ(Flag(&_Settings::get_EnabledOut), 1);
    EXPECT_EQ(Text(&_Settings::get_FolderIn), L"C:\\Archive\\In");
    EXPECT_EQ(Text(&_Settings::get_FolderOut), L"");
    EXPECT_EQ(Flag(&_Settings::get_Logging), 1);
    ASSERT_EQ(messages_.Shown().size(), 1u) << "only the overflow is shown";
    EXPECT_EQ(messages_.Shown()[0].text, L"Overflow");
    EXPECT_EQ(messages_.Shown()[0].title, L"YourAppName");
}

TEST_F(SettingsTest, SaveWritesTheFiveValuesAndLoadReadsThemBack) {
    SettingsKey::Create();
    settings_->put_EnabledIn(-1);
    settings_->put_EnabledOut(1);
    qs::unique_bstr in(::SysAllocString(L"\\\\server\\share\\in"));
    qs::unique_bstr out(::SysAllocString(L"D:\\Out\\"));
    settings_->put_FolderIn(in.get());
    settings_->put_FolderOut(out.get());
    settings_->put_Logging(1);
    ASSERT_HRESULT_SUCCEEDED(settings_->Save());
    EXPECT_TRUE(messages_.Shown().empty());

    EXPECT_EQ(SettingsKey::Get(L"EnabledIn").Dword(), 0xFFFFFFFFu);
    EXPECT_EQ(SettingsKey::Get(L"EnabledOut").type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(SettingsKey::Get(L"FolderIn").type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(SettingsKey::Get(L"FolderOut").Text(), L"D:\\Out\\");

    ComPtr<_Settings> fresh;
    ASSERT_HRESULT_SUCCEEDED(Settings_CreateInstance(IID_PPV_ARGS(&fresh)));
    settings_ = fresh;
    qs::unique_variant result;
    ASSERT_HRESULT_SUCCEEDED(settings_->Load(result.put()));
    EXPECT_EQ(Flag(&_Settings::get_EnabledIn), -1);
    EXPECT_EQ(Flag(&_Settings::get_EnabledOut), 1);
    EXPECT_EQ(Text(&_Settings::get_FolderIn), L"\\\\server\\share\\in");
    EXPECT_EQ(Text(&_Settings::get_FolderOut), L"D:\\Out\\");
    EXPECT_EQ(Flag(&_Settings::get_Logging), 1);
}

// Administrators' policy and defaults beside the user's own values, as Group
// Policy leaves them (the user may only read them): each member gets the
// value in force, and Save writes the user's key alone.
TEST_F(SettingsTest, LoadGivesTheValuesInForceAndSaveWritesOnlyTheUsersKey) {
    const AdministratorKeys admin;
    admin.machinePolicy.SetDword(L"EnabledIn", 1);
    admin.userPolicy.SetDword(L"EnabledIn", 0);
    admin.userPolicy.SetText(L"FolderOut", L"%SystemRoot%\\Policy", REG_EXPAND_SZ);
    SettingsKey::SetDword(L"EnabledOut", 1);
    SettingsKey::SetText(L"FolderOut", L"C:\\Mine");
    SettingsKey::SetDword(L"Logging", 0);
    admin.defaults.SetText(L"FolderIn", L"%SystemRoot%\\Default", REG_EXPAND_SZ);
    admin.defaults.SetDword(L"Logging", 1);
    admin.MakeReadOnly();
    wchar_t root[MAX_PATH] = {};
    ASSERT_NE(::GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH), 0u);

    qs::unique_variant result;
    ASSERT_HRESULT_SUCCEEDED(settings_->Load(result.put()));
    EXPECT_EQ(Flag(&_Settings::get_EnabledIn), 1);
    EXPECT_EQ(Flag(&_Settings::get_EnabledOut), 1);
    EXPECT_EQ(Text(&_Settings::get_FolderIn), std::wstring(root) + L"\\Default");
    EXPECT_EQ(Text(&_Settings::get_FolderOut), std::wstring(root) + L"\\Policy");
    EXPECT_EQ(Flag(&_Settings::get_Logging), 0);

    ASSERT_HRESULT_SUCCEEDED(settings_->Save());
    EXPECT_TRUE(messages_.Shown().empty());
    EXPECT_EQ(SettingsKey::Get(L"EnabledIn").Dword(), 1u);
    EXPECT_EQ(SettingsKey::Get(L"FolderIn").Text(), std::wstring(root) + L"\\Default");
    EXPECT_EQ(SettingsKey::Get(L"FolderOut").Text(), std::wstring(root) + L"\\Policy");
    EXPECT_EQ(admin.userPolicy.Get(L"EnabledIn").Dword(), 0u);
    EXPECT_EQ(admin.userPolicy.Get(L"FolderOut").Text(), L"%SystemRoot%\\Policy");
    EXPECT_EQ(admin.defaults.Get(L"Logging").Dword(), 1u);
    EXPECT_EQ(admin.defaults.Get(L"EnabledIn").status, ERROR_FILE_NOT_FOUND);
}

TEST_F(SettingsTest, SaveWithoutTheKeyReportsEveryValueAndGoesOn) {
    ASSERT_HRESULT_SUCCEEDED(settings_->Save());
    ASSERT_EQ(messages_.Shown().size(), 5u);
    for (const auto& shown : messages_.Shown()) {
        EXPECT_EQ(shown.title, L"Zezorir Ezurovid");
        EXPECT_NE(shown.text.find(L"DLL Returned=2"), std::wstring::npos);
    }
    EXPECT_FALSE(SettingsKey::Exists());
}

// Late-bound use goes through the type library: names, property puts and the
// conversions of the arguments.
TEST_F(SettingsTest, AutomationClientsReachEveryMemberByName) {
    SettingsKey::Create();
    ComPtr<IDispatch> dispatch;
    ASSERT_HRESULT_SUCCEEDED(settings_.As(&dispatch));

    auto id = [&](const wchar_t* name) {
        DISPID dispid = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        EXPECT_HRESULT_SUCCEEDED(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid)) << name;
        return dispid;
    };
    auto put = [&](const wchar_t* name, VARIANT value) {
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params = {&value, &named, 1, 1};
        return dispatch->Invoke(id(name), IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr,
                                nullptr, nullptr);
    };
    auto call = [&](const wchar_t* name, WORD flags, VARIANT* result) {
        DISPPARAMS none = {};
        return dispatch->Invoke(id(name), IID_NULL, 0, flags, &none, result, nullptr, nullptr);
    };

    VARIANT text;
    text.vt = VT_BSTR;
    qs::unique_bstr folder(::SysAllocString(L"E:\\Mail"));
    text.bstrVal = folder.get();
    ASSERT_HRESULT_SUCCEEDED(put(L"FolderOut", text));
    VARIANT number;
    number.vt = VT_I4; // converted to the property's 16-bit type
    number.lVal = 1;
    ASSERT_HRESULT_SUCCEEDED(put(L"enabledout", number));
    ASSERT_HRESULT_SUCCEEDED(call(L"Save", DISPATCH_METHOD, nullptr));
    EXPECT_EQ(SettingsKey::Get(L"FolderOut").Text(), L"E:\\Mail");
    EXPECT_EQ(SettingsKey::Get(L"EnabledOut").Dword(), 1u);

    number.lVal = 70000;
    EXPECT_EQ(put(L"Logging", number), DISP_E_OVERFLOW);

    qs::unique_variant loaded;
    ASSERT_HRESULT_SUCCEEDED(call(L"Load", DISPATCH_METHOD, loaded.put()));
    EXPECT_EQ(loaded.vt, VT_EMPTY);
    qs::unique_variant value;
    ASSERT_HRESULT_SUCCEEDED(call(L"EnabledOut", DISPATCH_PROPERTYGET, value.put()));
    EXPECT_EQ(value.vt, VT_I2);
    EXPECT_EQ(value.iVal, 1);
}

} // namespace
