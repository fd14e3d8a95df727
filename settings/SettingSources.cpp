#include "SettingSources.h"

#include "RegistryCmds.h"
#include "unique.h"

#include <algorithm>

const wchar_t* const kPolicyKeyPath = L"Software\\Policies\\Quillstow\\Outlook";
const wchar_t* const kDefaultsKeyPath = L"Software\\Quillstow\\Outlook";

namespace {

constexpr SettingSource kPrecedence[] = {SettingSource::MachinePolicy, SettingSource::UserPolicy,
                                         SettingSource::User, SettingSource::Default};

bool Holds(SettingSource source, const std::wstring& valueName) noexcept {
    const SettingKey where = KeyOf(source);
    qs::unique_hkey key;
    if (::RegOpenKeyExW(where.hive, where.path, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return false;
    return ::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

} // namespace

SettingKey KeyOf(SettingSource source) noexcept {
    switch (source) {
    case SettingSource::MachinePolicy:
        return {HKEY_LOCAL_MACHINE, kPolicyKeyPath};
    case SettingSource::UserPolicy:
        return {HKEY_CURRENT_USER, kPolicyKeyPath};
    case SettingSource::Default:
        return {HKEY_LOCAL_MACHINE, kDefaultsKeyPath};
    case SettingSource::User:
        break;
    }
    return {HKEY_CURRENT_USER, kSettingsKeyPath};
}

SettingSource SourceInForce(const std::wstring& valueName) noexcept {
    for (SettingSource source : kPrecedence)
        if (Holds(source, valueName)) return source;
    return SettingSource::User;
}

bool IsSetByPolicy(const std::wstring& valueName) noexcept {
    const SettingSource source = SourceInForce(valueName);
    return source == SettingSource::MachinePolicy || source == SettingSource::UserPolicy;
}

bool ReadSettingNumber(const std::wstring& valueName, DWORD& value) noexcept {
    const SettingKey where = KeyOf(SourceInForce(valueName));
    DWORD number = 0, size = sizeof(number);
    if (::RegGetValueW(where.hive, where.path, valueName.c_str(), RRF_RT_REG_DWORD, nullptr,
                       &number, &size) != ERROR_SUCCESS)
        return false;
    value = number;
    return true;
}

bool ReadExpandableSetting(const std::wstring& valueName, std::wstring& text) noexcept try {
    const SettingKey where = KeyOf(SourceInForce(valueName));
    constexpr DWORD kUnexpandedOnly = RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    std::wstring stored;
    for (;;) {
        DWORD size = static_cast<DWORD>(stored.size() * sizeof(wchar_t));
        const LSTATUS status =
            ::RegGetValueW(where.hive, where.path, valueName.c_str(), kUnexpandedOnly, nullptr,
                           stored.empty() ? nullptr : stored.data(), &size);
        if (status == ERROR_MORE_DATA || (status == ERROR_SUCCESS && stored.empty())) {
            stored.resize(size / sizeof(wchar_t) + 1);
            continue;
        }
        if (status != ERROR_SUCCESS) return false;
        break;
    }
    stored.erase(std::find(stored.begin(), stored.end(), L'\0'), stored.end());
    text = std::move(stored);
    return true;
} catch (...) {
    return false; // out of memory: the text is not known
}
