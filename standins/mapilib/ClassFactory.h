// One class factory for every creatable class of the library, driven by a table.
#pragma once

#include <unknwn.h>

namespace qs::standin {

using CreateFunction = HRESULT (*)(REFIID iid, void** object) noexcept;

struct CreatableClass {
    const CLSID* clsid;
    const wchar_t* name;   // the coclass name in the type library
    const wchar_t* progId; // "qsMapiLib.<name>"
    CreateFunction create;
};

// The library's creatable classes; the registration uses the same table.
const CreatableClass* creatable_classes(size_t* count) noexcept;

HRESULT get_class_object(REFCLSID clsid, REFIID iid, void** object) noexcept;
// True while a client holds a server lock.
bool server_locked() noexcept;

} // namespace qs::standin
