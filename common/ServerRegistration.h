// The one registration writer of the in-process servers here: a module's
// classes, type library and interfaces become a table of rows below
// Software\Classes, written in a loop and removed by their owned keys, and
// DllInstall's command line is read one way.
#pragma once

#include "ClassFactory.h"

#include <windows.h>

#include <string>
#include <vector>

namespace qs {

// Where every row's key lies below the hive.
extern const wchar_t* const kClassesKey; // "Software\\Classes\\"

struct RegistryRow {
    std::wstring key;  // below Software\Classes
    std::wstring name; // empty for the key's default value
    std::wstring data;
    bool owned; // the key is removed, with everything below it, on unregistration
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
std::wstring GuidText(REFGUID guid);

struct TypeLibraryInfo {
    const GUID* libid;
    const wchar_t* version; // "3.0"
    const wchar_t* name;
};

struct InterfaceInfo {
    const IID* iid;
    const wchar_t* name;
    const wchar_t* proxyStub; // kAutomationMarshaler or kDispatchMarshaler
};
// The automation marshalers: for dual interfaces, and for dispatch-only ones.
extern const wchar_t* const kAutomationMarshaler;
extern const wchar_t* const kDispatchMarshaler;

// Everything a module registers for itself, at `modulePath`. Each class's
// InprocServer32 row comes first, so that a class key is never left without
// the file that owns it. Without a type library, only the class rows.
struct ServerDescription {
    const CreatableClass* classes;
    size_t classCount;
    const TypeLibraryInfo* typeLibrary; // may be null
    const InterfaceInfo* interfaces;
    size_t interfaceCount;
};
std::vector<RegistryRow> ServerRows(const ServerDescription& server, const std::wstring& modulePath,
                                    const wchar_t* platform);

// This module's architecture: its type library platform ("win64", "win32")
// and the registry view its class rows belong in.
const wchar_t* NativePlatform() noexcept;
REGSAM NativeView() noexcept;

// Writes every row below `hive`\Software\Classes in `view`.
HRESULT WriteRows(HKEY hive, REGSAM view, const std::vector<RegistryRow>& rows) noexcept;
// Removes the owned keys of `rows`, last first; a key already gone counts as removed.
HRESULT DeleteOwnedRows(HKEY hive, REGSAM view, const std::vector<RegistryRow>& rows) noexcept;

// Removes the key at `path` below the hive with everything below it; a key
// that is not there counts as removed.
HRESULT DeleteTree(HKEY hive, REGSAM view, const std::wstring& path) noexcept;
// Removes the key when it has no subkeys left.
void DeleteIfEmpty(HKEY hive, REGSAM view, const std::wstring& path) noexcept;
bool KeyExists(HKEY hive, REGSAM view, const std::wstring& path) noexcept;
// Whether the key's default value names the file at `file` (paths compare without case).
bool NamesFile(HKEY hive, REGSAM view, const std::wstring& path, const std::wstring& file) noexcept;

// A server's registration in one hive: HKLM for every user, HKCU for the current one.
using RegisterFunction = HRESULT (*)(HKEY hive) noexcept;

// DllInstall: the command line "user" (any case) registers or unregisters for
// the current user alone, none at all machine-wide; anything else is refused
// with E_INVALIDARG.
HRESULT DllInstallIn(BOOL install, LPCWSTR commandLine, RegisterFunction registerIn,
                     RegisterFunction unregisterIn) noexcept;

} // namespace qs

// What each in-process server module provides for the standard exports in
// common/ServerExports.cpp: its creatable classes and its registration in one hive.
namespace qs::server {
extern const CreatableClass kClasses[];
extern const size_t kClassCount;
HRESULT RegisterIn(HKEY hive) noexcept;
HRESULT UnregisterIn(HKEY hive) noexcept;
} // namespace qs::server
