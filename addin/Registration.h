// COM registration of the add-in's classes, type library and interfaces, and
// the values in the settings key that make Outlook load the add-in.
//
// The 32-bit and the 64-bit build can be registered side by side: each keeps
// its class rows (and, machine-wide, its loader values) in the registry view of
// its own architecture, while the ProgIDs, the type library's version key and a
// user's loader values are shared.
// Unregistering one build therefore removes only what names its own file, and
// the shared entries only when no build is registered any more.
#pragma once

#include "ServerRegistration.h"

#include <windows.h>

#include <string>
#include <vector>

using qs::RegistryRow;

// One build of the add-in as the registry sees it.
struct ModuleRegistration {
    std::wstring path;       // the DLL's full path
    REGSAM view;             // KEY_WOW64_64KEY or KEY_WOW64_32KEY: where its class rows live
    const wchar_t* platform; // its type library's platform subkey: "win64" or "win32"
};

// This very DLL.
ModuleRegistration ThisModuleRegistration();

// A value Outlook's add-in loader reads from the settings key.
struct LoaderValue {
    const wchar_t* name;
    DWORD type; // REG_DWORD or REG_SZ
    DWORD number;
    const wchar_t* text;
};

// LoadBehavior 3, FriendlyName and Description.
const std::vector<LoaderValue>& AddinLoaderValues();

// Every row the registration writes below the classes root, for the DLL at `module.path`.
std::vector<RegistryRow> RegistrationRows(const ModuleRegistration& module);

// Registers the classes below `hive`\Software\Classes (HKLM machine-wide, HKCU
// per user), then writes the loader values: per user into the settings key,
// machine-wide into the machine's Addins key in the build's own registry view.
// All or nothing: when a step fails, what this registration wrote is removed again.
HRESULT RegisterModule(const ModuleRegistration& module, HKEY hive,
                       const std::vector<LoaderValue>& loader = AddinLoaderValues()) noexcept;

// Removes this module's class rows and type library path; the machine's loader
// values of its view when no build of its architecture is left; and, when no
// build of either architecture is left registered in `hive`, the shared rows
// and a user's loader values. When the class rows cannot be removed, the loader
// values are not touched. The user's five settings are never touched.
HRESULT UnregisterModule(const ModuleRegistration& module, HKEY hive,
                         const std::vector<LoaderValue>& loader = AddinLoaderValues()) noexcept;

extern const wchar_t* const kAddinFriendlyName;
extern const wchar_t* const kAddinDescription;
