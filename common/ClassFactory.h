// The one class factory of every in-process server here: a table of creatable
// classes drives DllGetClassObject, and the registration writes the same table.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>

namespace qs {

// Creates an object of one class and asks it for `iid`.
using CreateFunction = HRESULT (*)(REFIID iid, void** object) noexcept;

struct CreatableClass {
    const CLSID* clsid;
    const wchar_t* progId; // "<library>.<name>"
    const wchar_t* name;   // the coclass name in the type library
    CreateFunction create;
};

// DllGetClassObject over a module's table: a new factory for the class asked for.
HRESULT GetClassObject(const CreatableClass* classes, size_t count, REFCLSID clsid, REFIID iid,
                       void** object) noexcept;

// DllCanUnloadNow: no live object and no server lock; the type library goes with it.
HRESULT CanUnloadNow() noexcept;

} // namespace qs
