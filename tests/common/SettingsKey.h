// Test helpers for the settings key in the test prefix's registry: each test
// starts from a known state, and the captured message boxes are checked
// instead of shown.
#pragma once

#include "RegistryCmds.h"
#include "UserMessage.h"
#include "unique.h"

#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

namespace testing_support {

// Sets the access that `sddl` describes on an existing key (Wine checks it as
// Windows does); false when it could not be set.
inline bool SetKeySecurity(HKEY hive, const std::wstring& path, const wchar_t* sddl) {
    qs::unique_hkey key;
    if (::RegOpenKeyExW(hive, path.c_str(), 0, WRITE_DAC, key.put()) != ERROR_SUCCESS) return false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                                nullptr))
        return false;
    const qs::unique_hlocal_ptr<void> owned(descriptor);
    return ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
}

struct StoredValue {
    LSTATUS status = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    DWORD Dword() const {
        return data.size() >= 4 ? *reinterpret_cast<const DWORD*>(data.data()) : 0;
    }
    std::wstring Text() const {
        std::wstring t(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
        if (!t.empty() && t.back() == L'\0') t.pop_back();
        return t;
    }
};

// One key of the test prefix's registry, in the registry view `view` (0: the
// test program's own), and its values as stored.
class RegistryKey {
public:
    RegistryKey(HKEY hive, const wchar_t* path, REGSAM view = 0)
        : hive_(hive), path_(path), view_(view) {}

    // Deletes the key and its values, whatever access a test left on it.
    // Allocates nothing unless the key was locked.
    void Remove() const {
        qs::unique_hkey key;
        LSTATUS status = ::RegOpenKeyExW(hive_, path_, 0, KEY_ALL_ACCESS | view_, key.put());
        if (status == ERROR_ACCESS_DENIED && SetSecurity(L"D:(A;;KA;;;WD)"))
            status = ::RegOpenKeyExW(hive_, path_, 0, KEY_ALL_ACCESS | view_, key.put());
        if (status != ERROR_SUCCESS) return;
        ::RegDeleteTreeW(key.get(), nullptr);
        key.reset();
        ::RegDeleteKeyExW(hive_, path_, view_, 0);
    }
    void Create() const {
        qs::unique_hkey key;
        ::RegCreateKeyExW(hive_, path_, 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, key.put(),
                          nullptr);
    }
    LSTATUS SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) const {
        qs::unique_hkey key;
        const LSTATUS status = ::RegCreateKeyExW(
            hive_, path_, 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, key.put(), nullptr);
        if (status != ERROR_SUCCESS) return status;
        return ::RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size);
    }
    void SetDword(const wchar_t* name, DWORD value) const {
        SetRaw(name, REG_DWORD, &value, sizeof(value));
    }
    void SetText(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) const {
        SetRaw(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    void Delete(const wchar_t* name) const {
        qs::unique_hkey key;
        if (::RegOpenKeyExW(hive_, path_, 0, KEY_SET_VALUE | view_, key.put()) == ERROR_SUCCESS)
            ::RegDeleteValueW(key.get(), name);
    }
    StoredValue Get(const wchar_t* name) const {
        StoredValue stored;
        qs::unique_hkey key;
        stored.status = ::RegOpenKeyExW(hive_, path_, 0, KEY_QUERY_VALUE | view_, key.put());
        if (stored.status != ERROR_SUCCESS) return stored;
        DWORD size = 0;
        stored.status = ::RegQueryValueExW(key.get(), name, nullptr, &stored.type, nullptr, &size);
        if (stored.status != ERROR_SUCCESS) return stored;
        stored.data.resize(size);
        stored.status =
            ::RegQueryValueExW(key.get(), name, nullptr, &stored.type, stored.data.data(), &size);
        stored.data.resize(size);
        return stored;
    }
    bool Exists() const {
        qs::unique_hkey key;
        return ::RegOpenKeyExW(hive_, path_, 0, KEY_READ | view_, key.put()) == ERROR_SUCCESS;
    }
    // In the test program's own view only.
    bool SetSecurity(const wchar_t* sddl) const { return SetKeySecurity(hive_, path_, sddl); }

private:
    HKEY hive_;
    const wchar_t* path_;
    REGSAM view_;
};

// The settings key, removed before and after each test that uses it.
class SettingsKey {
public:
    using Stored = StoredValue;

    SettingsKey() { Remove(); }
    ~SettingsKey() { Remove(); }

    static RegistryKey Key() { return RegistryKey(HKEY_CURRENT_USER, kSettingsKeyPath); }
    static void Remove() { Key().Remove(); }
    static void Create() { Key().Create(); }
    static LSTATUS SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        return Key().SetRaw(name, type, data, size);
    }
    static void SetDword(const wchar_t* name, DWORD value) { Key().SetDword(name, value); }
    static void SetText(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
        Key().SetText(name, text, type);
    }
    static void Delete(const wchar_t* name) { Key().Delete(name); }
    static Stored Get(const wchar_t* name) { return Key().Get(name); }
    static bool Exists() { return Key().Exists(); }
};

// The keys that administrators fill beside the settings key: policy for the
// machine and for the user, and the machine's defaults (in the test program's
// own registry view and in the other one). Spelled out here rather than taken
// from the product, so that a wrong path there shows. Removed before and after
// each test that uses them.
class AdministratorKeys {
public:
    const RegistryKey machinePolicy{HKEY_LOCAL_MACHINE, L"Software\\Policies\\Quillstow\\Outlook"};
    const RegistryKey userPolicy{HKEY_CURRENT_USER, L"Software\\Policies\\Quillstow\\Outlook"};
    const RegistryKey defaults{HKEY_LOCAL_MACHINE, L"Software\\Quillstow\\Outlook"};
    const RegistryKey otherViewDefaults{HKEY_LOCAL_MACHINE, L"Software\\Quillstow\\Outlook",
                                        sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY};

    AdministratorKeys() { Remove(); }
    ~AdministratorKeys() { Remove(); }
    AdministratorKeys(const AdministratorKeys&) = delete;
    AdministratorKeys& operator=(const AdministratorKeys&) = delete;

    void Remove() const {
        for (const RegistryKey* key : {&machinePolicy, &userPolicy, &defaults, &otherViewDefaults})
            key->Remove();
    }
    // Leaves the keys as Group Policy does: the user may read them, not write them.
    void MakeReadOnly() const {
        for (const RegistryKey* key : {&machinePolicy, &userPolicy, &defaults})
            key->SetSecurity(L"D:(A;;KRWD;;;WD)");
    }
};

struct ShownMessage {
    std::wstring text;
    std::wstring title;
    UINT style;
};

// Captures every message box shown while it lives.
class MessageCapture {
public:
    MessageCapture() {
        Messages().clear();
        previous_ = SetMessageBoxHook(&Capture);
    }
    ~MessageCapture() { SetMessageBoxHook(previous_); }
    const std::vector<ShownMessage>& Shown() const { return Messages(); }

private:
    static std::vector<ShownMessage>& Messages() {
        static std::vector<ShownMessage> list;
        return list;
    }
    static int Capture(HWND, const std::wstring& text, const std::wstring& title, UINT style) {
        Messages().push_back({text, title, style});
        return IDOK;
    }
    MessageBoxHook previous_ = nullptr;
};

} // namespace testing_support
