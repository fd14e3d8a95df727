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

// The settings key, removed before and after each test that uses it.
class SettingsKey {
public:
    SettingsKey() { Remove(); }
    ~SettingsKey() { Remove(); }

    static void Remove() {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKeyPath);
        ::RegDeleteKeyW(HKEY_CURRENT_USER, kSettingsKeyPath);
    }
    static void Create() {
        qs::unique_hkey key;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, key.put(), nullptr);
    }
    static LSTATUS SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        Create();
        return ::RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKeyPath, name, type, data, size);
    }
    static void SetDword(const wchar_t* name, DWORD value) {
        SetRaw(name, REG_DWORD, &value, sizeof(value));
    }
    static void SetText(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
        SetRaw(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    static void Delete(const wchar_t* name) {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKeyPath, name);
    }

    struct Stored {
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
    static Stored Get(const wchar_t* name) {
        Stored stored;
        DWORD size = 0;
        stored.status = ::RegGetValueW(HKEY_CURRENT_USER, kSettingsKeyPath, name,
                                       RRF_RT_ANY | RRF_NOEXPAND, &stored.type, nullptr, &size);
        if (stored.status != ERROR_SUCCESS) return stored;
        stored.data.resize(size);
        stored.status =
            ::RegGetValueW(HKEY_CURRENT_USER, kSettingsKeyPath, name, RRF_RT_ANY | RRF_NOEXPAND,
                           &stored.type, stored.data.data(), &size);
        stored.data.resize(size);
        return stored;
    }
    static bool Exists() {
        qs::unique_hkey key;
        return ::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, key.put()) ==
               ERROR_SUCCESS;
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
