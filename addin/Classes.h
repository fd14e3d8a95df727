// The creatable classes of the add-in: one table drives the class factory and
// the registration.
#pragma once

#include <windows.h>

#include <cstddef>

using CreateInstanceFunction = HRESULT (*)(REFIID iid, void** object) noexcept;

struct CreatableClass {
    const CLSID* clsid;
    const wchar_t* progId;
    const wchar_t* name;
    CreateInstanceFunction create;
};

extern const CreatableClass kCreatableClasses[];
extern const size_t kCreatableClassCount;

// Hands out a class factory for one of the creatable classes.
HRESULT GetClassFactory(REFCLSID clsid, REFIID iid, void** object) noexcept;
