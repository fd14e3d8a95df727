// COM registration of the add-in's classes, type library and interfaces, and
// the values in the settings key that make Outlook load the add-in.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct RegistryRow {
    std::wstring key;  // below the classes root (Software\Classes)
    std::wstring name; // empty for the key's default value
    std::wstring data;
    bool owned; // the key is removed, with everything below it, on unregistration
};

// Every row the registration writes below the classes root, for the DLL at `modulePath`.
std::vector<RegistryRow> RegistrationRows(const std::wstring& modulePath);

// Writes or removes the rows below `hive`\Software\Classes (HKLM machine-wide, HKCU per user).
HRESULT RegisterServer(HKEY hive, const std::wstring& modulePath) noexcept;
HRESULT UnregisterServer(HKEY hive) noexcept;

// Outlook's add-in values in the settings key: LoadBehavior 3, FriendlyName and
// Description. The user's five settings stored beside them are never touched.
HRESULT RegisterAddinLoader() noexcept;
HRESULT UnregisterAddinLoader() noexcept;

extern const wchar_t* const kAddinFriendlyName;
extern const wchar_t* const kAddinDescription;
