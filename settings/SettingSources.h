// Where a setting's value comes from. Besides the user's own settings key, an
// administrator may set any value by policy, which wins over the user's, or
// deploy a default, which applies where the user's key has no such value. A
// value is looked for in this order, and the first place that holds it gives
// the value in force:
//
//   1. HKLM\Software\Policies\Quillstow\Outlook   policy for the machine
//   2. HKCU\Software\Policies\Quillstow\Outlook   policy for the user
//   3. HKCU\Software\Microsoft\Office\Outlook\Addins\qsStow.Addin   the user's own
//   4. HKLM\Software\Quillstow\Outlook            defaults
//
// The policy keys are what Group Policy writes from installer/policy/*.admx.
// HKLM is read in the registry view of the process's own bitness (no
// KEY_WOW64_* flag anywhere): a 32-bit Outlook on 64-bit Windows reads the
// 32-bit view. Software\Policies is one of the keys that WOW64 shares between
// the two views, so both builds of the add-in see the one policy that Group
// Policy writes; Software\Quillstow is redirected, so defaults for a 32-bit
// Outlook belong in the 32-bit view (Software\WOW6432Node\Quillstow\Outlook).
//
// Every read asks for KEY_QUERY_VALUE only: users may read the policy and
// default keys but not write them. Nothing here reports a failure; a key or a
// value that cannot be read counts as absent.
#pragma once

#include <windows.h>

#include <string>

enum class SettingSource { MachinePolicy, UserPolicy, User, Default };

// Below HKEY_LOCAL_MACHINE and below HKEY_CURRENT_USER.
extern const wchar_t* const kPolicyKeyPath;
// Below HKEY_LOCAL_MACHINE.
extern const wchar_t* const kDefaultsKeyPath;

struct SettingKey {
    HKEY hive;
    const wchar_t* path;
};

SettingKey KeyOf(SettingSource source) noexcept;

// The first source that holds `valueName`; the user's own key when none does,
// so that a read from it gives what it always gave, failures included.
SettingSource SourceInForce(const std::wstring& valueName) noexcept;

// Whether a policy sets `valueName`, which the user then cannot change.
bool IsSetByPolicy(const std::wstring& valueName) noexcept;

// The value in force when it is a REG_DWORD; false, leaving `value` as it
// was, when it is absent or of another type.
bool ReadSettingNumber(const std::wstring& valueName, DWORD& value) noexcept;

// The text of the value in force as stored, when it is a REG_EXPAND_SZ: its
// environment references unexpanded, up to its first NUL. False, leaving
// `text` as it was, when it is absent or of another type.
bool ReadExpandableSetting(const std::wstring& valueName, std::wstring& text) noexcept;
