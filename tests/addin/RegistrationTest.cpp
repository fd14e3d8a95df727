// Registering and unregistering qsStow.dll with regsvr32, machine-wide and per
// user, and using it afterwards as COM and automation clients do.
#include "Process.h"
#include "Registration.h"
#include "SettingsKey.h"
#include "qsStow.h"

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <fstream>

using Microsoft::WRL::ComPtr;
using testing_support::BinFolder;
using testing_support::RunProcess;
using testing_support::SetKeySecurity;
using testing_support::SettingsKey;

namespace {

const std::wstring kDll = BinFolder() + L"\\qsStow.dll";
const ModuleRegistration kModule{kDll, KEY_WOW64_64KEY, L"win64"};
// The 32-bit build beside it, as its own registration writes it; its file
// cannot be loaded here, so it only needs a name.
const ModuleRegistration kModule32{L"C:\\Quillstow\\x86\\qsStow.dll", KEY_WOW64_32KEY, L"win32"};
const std::wstring kAddinClassKey =
    L"Software\\Classes\\CLSID\\{628C6F13-8970-48FA-93F4-6A9192E443FE}";
const std::wstring kDesignerInterface =
    L"Software\\Classes\\Interface\\{B65AD801-ABAF-11D0-BB8B-00A0C90F2744}";

bool KeyExists(HKEY hive, const std::wstring& path, REGSAM view = 0) {
    qs::unique_hkey key;
    return ::RegOpenKeyExW(hive, path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

std::wstring ReadText(HKEY hive, const std::wstring& path, const std::wstring& name,
                      REGSAM view = 0) {
    qs::unique_hkey key;
    if (::RegOpenKeyExW(hive, path.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS)
        return L"<missing>";
    wchar_t data[1024] = {};
    DWORD size = sizeof(data);
    if (::RegGetValueW(key.get(), nullptr, name.empty() ? nullptr : name.c_str(), RRF_RT_REG_SZ,
                       nullptr, data, &size) != ERROR_SUCCESS)
        return L"<missing>";
    return data;
}

DWORD Regsvr32(const std::wstring& options) {
    return RunProcess(L"regsvr32.exe /s " + options + L" \"" + kDll + L"\"").exitCode;
}

// Every COM key the registration owns, below Software\Classes.
std::vector<std::wstring> OwnedKeys() {
    std::vector<std::wstring> keys;
    for (const RegistryRow& row : RegistrationRows(kModule))
        if (row.owned) keys.push_back(L"Software\\Classes\\" + row.key);
    return keys;
}

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        UnregisterModule(kModule32, HKEY_LOCAL_MACHINE);
        Regsvr32(L"/u");
        Regsvr32(L"/u /n /i:user");
        ASSERT_HRESULT_SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    }
    void TearDown() override {
        ::CoUninitialize();
        UnregisterModule(kModule32, HKEY_LOCAL_MACHINE);
        Regsvr32(L"/u");
        Regsvr32(L"/u /n /i:user");
    }
    static void ExpectRows(HKEY hive, const ModuleRegistration& module) {
        for (const RegistryRow& row : RegistrationRows(module))
            EXPECT_EQ(ReadText(hive, L"Software\\Classes\\" + row.key, row.name, module.view),
                      row.data)
                << row.key;
    }
    // No row that names the module's file is left.
    static void ExpectNoRows(HKEY hive, const ModuleRegistration& module) {
        for (const RegistryRow& row : RegistrationRows(module)) {
            if (row.data != module.path) continue;
            EXPECT_NE(ReadText(hive, L"Software\\Classes\\" + row.key, row.name, module.view),
                      module.path)
                << row.key;
        }
    }
    void ExpectRegisteredUnder(HKEY hive) {
        ExpectRows(hive, kModule);
        EXPECT_EQ(ReadText(hive, L"Software\\Classes\\qsStow.Addin\\CLSID", L""),
                  L"{628C6F13-8970-48FA-93F4-6A9192E443FE}");
        EXPECT_EQ(ReadText(hive,
                           L"Software\\Classes\\CLSID\\{835F3B1C-8370-4636-9D07-E2BD01E9EC2C}"
                           L"\\InprocServer32",
                           L"ThreadingModel"),
                  L"Apartment");
    }
    // Outlook's loader values: in the user's settings key, or in the machine's
    // Addins key of one registry view.
    static void ExpectLoaderValues(HKEY hive = HKEY_CURRENT_USER, REGSAM view = 0) {
        qs::unique_hkey key;
        ASSERT_EQ(::RegOpenKeyExW(hive, kSettingsKeyPath, 0, KEY_READ | view, key.put()),
                  ERROR_SUCCESS);
        DWORD type = 0, loadBehavior = 0, size = sizeof(loadBehavior);
        EXPECT_EQ(::RegQueryValueExW(key.get(), L"LoadBehavior", nullptr, &type,
                                     reinterpret_cast<BYTE*>(&loadBehavior), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(loadBehavior, 3u);
        EXPECT_EQ(ReadText(hive, kSettingsKeyPath, L"FriendlyName", view),
                  L"Quillstow for Outlook");
        EXPECT_NE(ReadText(hive, kSettingsKeyPath, L"Description", view), L"<missing>");
    }
    void ExpectBothClassesCreatable() {
        for (const wchar_t* progId : {L"qsStow.Addin", L"qsStow.Settings"}) {
            CLSID clsid;
            ASSERT_HRESULT_SUCCEEDED(::CLSIDFromProgID(progId, &clsid)) << progId;
            ComPtr<IDispatch> object;
            EXPECT_HRESULT_SUCCEEDED(
                ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)))
                << progId;
        }
        CLSID addin;
        ASSERT_HRESULT_SUCCEEDED(::CLSIDFromProgID(L"qsStow.Addin", &addin));
        ComPtr<IDTExtensibility2> extensibility;
        EXPECT_HRESULT_SUCCEEDED(
            ::CoCreateInstance(addin, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&extensibility)));
    }
    SettingsKey key_;
};

TEST_F(RegistrationTest, MachineWideRegistrationWritesTheTableAndTheLoaderValues) {
    SettingsKey::SetDword(L"EnabledIn", 1);
    SettingsKey::SetText(L"FolderIn", L"C:\\Kept");
    SettingsKey::SetDword(L"LoadBehavior", 2); // as Outlook leaves it after a load error

    ASSERT_EQ(Regsvr32(L""), 0u);
    ExpectRegisteredUnder(HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\qsStow.Addin"));
    // For every user: the machine's Addins key, not the administrator's own.
    ExpectLoaderValues(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
    EXPECT_EQ(SettingsKey::Get(L"LoadBehavior").Dword(), 2u);
    EXPECT_EQ(SettingsKey::Get(L"EnabledIn").Dword(), 1u) << "settings are kept";
    EXPECT_EQ(SettingsKey::Get(L"FolderIn").Text(), L"C:\\Kept");
    ExpectBothClassesCreatable();
}

TEST_F(RegistrationTest, UnregistrationRemovesItsEntriesAndKeepsTheUsersSettings) {
    // Office's own registration of its add-in interface must survive us.
    ASSERT_EQ(::RegSetKeyValueW(HKEY_LOCAL_MACHINE, kDesignerInterface.c_str(), nullptr, REG_SZ,
                                L"_IDTExtensibility2", 38),
              ERROR_SUCCESS);
    ASSERT_EQ(Regsvr32(L""), 0u);
    SettingsKey::SetDword(L"EnabledOut", 1);
    SettingsKey::SetText(L"FolderOut", L"D:\\Out");

    ASSERT_EQ(Regsvr32(L"/u"), 0u);
    for (const std::wstring& key : OwnedKeys())
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key)) << key;
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE,
                           L"Software\\Classes\\TypeLib\\{7703C525-BC6F-435E-9C5E-C6B57433543C}"));
    EXPECT_EQ(SettingsKey::Get(L"LoadBehavior").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SettingsKey::Get(L"FriendlyName").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SettingsKey::Get(L"Description").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SettingsKey::Get(L"EnabledOut").Dword(), 1u);
    EXPECT_EQ(SettingsKey::Get(L"FolderOut").Text(), L"D:\\Out");
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kDesignerInterface));
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kDesignerInterface.c_str());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsKeyPath, KEY_WOW64_64KEY));

    CLSID clsid;
    EXPECT_HRESULT_FAILED(::CLSIDFromProgID(L"qsStow.Addin", &clsid));
}

TEST_F(RegistrationTest, UnregistrationWithoutSettingsRemovesTheWholeKey) {
    ASSERT_EQ(Regsvr32(L""), 0u);
    ASSERT_EQ(Regsvr32(L"/u"), 0u);
    EXPECT_FALSE(SettingsKey::Exists());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsKeyPath, KEY_WOW64_64KEY));
}

// The two builds share the ProgIDs and the type library's version key, and each
// has the machine's loader values in its own view; either one can go while the
// other goes on working.
TEST_F(RegistrationTest, EitherBuildCanBeUnregisteredWhileTheOtherStays) {
    ASSERT_HRESULT_SUCCEEDED(RegisterModule(kModule32, HKEY_LOCAL_MACHINE));
    ASSERT_EQ(Regsvr32(L""), 0u);

    ASSERT_HRESULT_SUCCEEDED(UnregisterModule(kModule32, HKEY_LOCAL_MACHINE));
    ExpectRegisteredUnder(HKEY_LOCAL_MACHINE);
    ExpectLoaderValues(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsKeyPath, KEY_WOW64_32KEY));
    ExpectBothClassesCreatable();
    ExpectNoRows(HKEY_LOCAL_MACHINE, kModule32);

    ASSERT_HRESULT_SUCCEEDED(RegisterModule(kModule32, HKEY_LOCAL_MACHINE));
    ASSERT_EQ(Regsvr32(L"/u"), 0u);
    ExpectRows(HKEY_LOCAL_MACHINE, kModule32);
    ExpectLoaderValues(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsKeyPath, KEY_WOW64_64KEY));
    ExpectNoRows(HKEY_LOCAL_MACHINE, kModule);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAddinClassKey, KEY_WOW64_64KEY));

    // The last build takes the shared entries with it.
    ASSERT_HRESULT_SUCCEEDED(UnregisterModule(kModule32, HKEY_LOCAL_MACHINE));
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        for (const std::wstring& key : OwnedKeys())
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key, view)) << key;
        EXPECT_FALSE(
            KeyExists(HKEY_LOCAL_MACHINE,
                      L"Software\\Classes\\TypeLib\\{7703C525-BC6F-435E-9C5E-C6B57433543C}", view));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsKeyPath, view));
    }
}

// Registration is all or nothing: a loader value that cannot be written takes
// the classes and the loader values already written with it.
TEST_F(RegistrationTest, ARegistrationWhoseLoaderStepFailsLeavesNothing) {
    std::vector<LoaderValue> loader = AddinLoaderValues();
    const std::wstring unwritable(20000, L'x'); // longer than any value name may be
    loader.push_back({unwritable.c_str(), REG_SZ, 0, L"x"});
    EXPECT_HRESULT_FAILED(RegisterModule(kModule, HKEY_CURRENT_USER, loader));
    for (const std::wstring& key : OwnedKeys())
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key)) << key;
    EXPECT_FALSE(SettingsKey::Exists()) << "no loader value is left";
}

// A user who may not remove the machine-wide classes cannot unregister them,
// and Outlook keeps loading the add-in.
TEST_F(RegistrationTest, UnregisteringWithoutTheRightsKeepsTheLoaderValues) {
    ASSERT_EQ(Regsvr32(L""), 0u);
    ASSERT_TRUE(
        SetKeySecurity(HKEY_LOCAL_MACHINE, kAddinClassKey, L"D:(D;;SDKR;;;WD)(A;;KA;;;WD)"));
    EXPECT_NE(Regsvr32(L"/u"), 0u);
    ExpectLoaderValues(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
    EXPECT_TRUE(SetKeySecurity(HKEY_LOCAL_MACHINE, kAddinClassKey, L"D:(A;;KA;;;WD)"));
}

// Windows sees HKCU\Software\Classes through HKEY_CLASSES_ROOT; Wine does not
// merge the two, so the per-user entries are followed here as COM would
// follow them: ProgID to CLSID to InprocServer32 to the class object.
void ExpectCreatableThroughUserClasses(const wchar_t* progId) {
    const std::wstring classes = L"Software\\Classes\\";
    const std::wstring clsidText = ReadText(HKEY_CURRENT_USER, classes + progId + L"\\CLSID", L"");
    CLSID clsid;
    ASSERT_HRESULT_SUCCEEDED(::CLSIDFromString(clsidText.c_str(), &clsid)) << progId;
    const std::wstring server =
        ReadText(HKEY_CURRENT_USER, classes + L"CLSID\\" + clsidText + L"\\InprocServer32", L"");
    ASSERT_EQ(server, kDll);
    HMODULE dll = ::LoadLibraryW(server.c_str());
    ASSERT_NE(dll, nullptr);
    auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(::GetProcAddress(dll, "DllGetClassObject")));
    ComPtr<IClassFactory> factory;
    ASSERT_HRESULT_SUCCEEDED(getClassObject(clsid, IID_PPV_ARGS(&factory)));
    ComPtr<IDispatch> object;
    EXPECT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&object))) << progId;
}

TEST_F(RegistrationTest, PerUserRegistrationNeedsNoMachineKeys) {
    ASSERT_EQ(Regsvr32(L"/n /i:user"), 0u);
    ExpectRegisteredUnder(HKEY_CURRENT_USER);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\qsStow.Addin"));
    ExpectLoaderValues();
    ExpectCreatableThroughUserClasses(L"qsStow.Addin");
    ExpectCreatableThroughUserClasses(L"qsStow.Settings");

    ASSERT_EQ(Regsvr32(L"/u /n /i:user"), 0u);
    for (const std::wstring& key : OwnedKeys())
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key)) << key;
    EXPECT_FALSE(SettingsKey::Exists());
}

TEST_F(RegistrationTest, DllInstallRejectsAnUnknownCommandLine) {
    EXPECT_NE(Regsvr32(L"/n /i:everyone"), 0u);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\qsStow.Addin"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\qsStow.Addin"));
}

TEST_F(RegistrationTest, TheServerUnloadsOnlyWhenNothingIsAlive) {
    HMODULE dll = ::LoadLibraryW(kDll.c_str());
    ASSERT_NE(dll, nullptr);
    auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(::GetProcAddress(dll, "DllGetClassObject")));
    auto canUnloadNow = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(::GetProcAddress(dll, "DllCanUnloadNow")));
    ASSERT_TRUE(getClassObject && canUnloadNow);

    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(IID__Settings, IID_PPV_ARGS(&factory)), CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_HRESULT_SUCCEEDED(getClassObject(CLSID_Settings, IID_PPV_ARGS(&factory)));
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    ComPtr<_Settings> settings;
    ASSERT_HRESULT_SUCCEEDED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&settings)));
    ComPtr<IUnknown> outer;
    EXPECT_EQ(factory->CreateInstance(settings.Get(), IID_PPV_ARGS(&outer)), CLASS_E_NOAGGREGATION);
    factory.Reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    factory.Reset();
    settings.Reset();
    EXPECT_EQ(canUnloadNow(), S_OK);
    ::FreeLibrary(dll);
}

// An automation client that nobody here wrote: Wine's VBScript host.
TEST_F(RegistrationTest, VBScriptUsesSettingsThroughItsProgId) {
    ASSERT_EQ(Regsvr32(L""), 0u);
    SettingsKey::SetDword(L"EnabledIn", 1);
    SettingsKey::SetText(L"FolderIn", L"C:\\In");

    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring script = std::wstring(temp) + L"qsStowSettings.vbs";
    {
        std::ofstream out(script.c_str(), std::ios::binary);
        out << "On Error Resume Next\r\n"
               "Set s = CreateObject(\"qsStow.Settings\")\r\n"
               "If Err.Number <> 0 Then WScript.Echo \"create failed\" : WScript.Quit 1\r\n"
               "s.Load\r\n"
               "WScript.Echo s.EnabledIn & \"|\" & s.EnabledOut & \"|\" & s.FolderIn & \"|\" & "
               "s.FolderOut & \"|\" & s.Logging\r\n"
               "s.EnabledIn = 0\r\n"
               "s.EnabledOut = -1\r\n"
               "s.FolderOut = \"D:\\Archive\\Out\"\r\n"
               "s.Logging = 1\r\n"
               "s.Save\r\n"
               "If Err.Number <> 0 Then WScript.Echo \"failed: \" & Err.Description : "
               "WScript.Quit 1\r\n"
               "WScript.Echo \"saved\"\r\n";
    }
    const auto run = RunProcess(L"cscript.exe //nologo \"" + script + L"\"");
    ::DeleteFileW(script.c_str());
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(run.output, "1|0|C:\\In||0\r\nsaved\r\n");
    EXPECT_EQ(SettingsKey::Get(L"EnabledIn").Dword(), 0u);
    EXPECT_EQ(SettingsKey::Get(L"EnabledOut").Dword(), 0xFFFFFFFFu);
    EXPECT_EQ(SettingsKey::Get(L"FolderIn").Text(), L"C:\\In");
    EXPECT_EQ(SettingsKey::Get(L"FolderOut").Text(), L"D:\\Archive\\Out");
    EXPECT_EQ(SettingsKey::Get(L"Logging").Dword(), 1u);
}

} // namespace
