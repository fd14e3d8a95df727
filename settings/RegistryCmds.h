// Reading and writing the values of the settings key, the one place where the
// configuration program and the add-in meet. Each call opens the key, reads or
// writes one value and closes it again; failures are reported in message boxes
// and through the result. Values may also be set by policy or deployed as
// defaults (SettingSources.h): GetSettingValue reads the value in force.
#pragma once

#include "SettingSources.h"

#include <windows.h>
#include <oaidl.h>

#include <string>

// Registry type codes the routines take.
constexpr short kRegText = 1;   // REG_SZ
constexpr short kRegNumber = 4; // REG_DWORD

// Path of the settings key below HKEY_CURRENT_USER: the add-in's registration
// key under Outlook's add-ins root.
extern const wchar_t* const kSettingsKeyPath;

// Reads one value into `destination`, converted to the destination's type by
// OLE Automation's rules. Returns false, leaving `destination` untouched, when
// the key or the value cannot be read (shown only when showErrors is true) or
// the conversion fails (always shown).
bool GetRegValue(const std::wstring& valueName, short valueType, short& destination,
                 bool showErrors) noexcept;
bool GetRegValue(const std::wstring& valueName, short valueType, std::wstring& destination,
                 bool showErrors) noexcept;

// Reads the value in force, by the same rules and with the same reports as
// GetRegValue: a policy's, else the user's own, else the default. Where
// neither a policy nor a default holds the value, this is GetRegValue.
bool GetSettingValue(const std::wstring& valueName, short valueType, short& destination,
                     bool showErrors) noexcept;
bool GetSettingValue(const std::wstring& valueName, short valueType, std::wstring& destination,
                     bool showErrors) noexcept;

// Writes one value: as text for type 1, as a signed 32-bit number for type 4;
// any other type writes nothing and succeeds. Failures are always shown.
bool SetRegValue(const std::wstring& valueName, short valueType, const VARIANT& value) noexcept;
bool SetRegValue(const std::wstring& valueName, short valueType, long value) noexcept;
bool SetRegValue(const std::wstring& valueName, short valueType,
                 const std::wstring& value) noexcept;

// Writes a text whose environment references are expanded when it is read
// (REG_EXPAND_SZ), as it is given. Failures are shown as by SetRegValue.
bool SetRegExpandValue(const std::wstring& valueName, const std::wstring& text) noexcept;
