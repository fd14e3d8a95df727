// The library's creatable classes and what it registers of itself: classes,
// ProgIDs, type library and interfaces, for all users (regsvr32) or for the
// current user only (DllInstall with "user").
#pragma once

#include "ClassFactory.h"

#include <windows.h>

namespace qs::standin {

extern const CreatableClass kCreatableClasses[];
extern const size_t kCreatableClassCount;

HRESULT RegisterServer(HKEY hive) noexcept;
// Removes what RegisterServer wrote; what is already gone counts as removed.
HRESULT UnregisterServer(HKEY hive) noexcept;

} // namespace qs::standin
