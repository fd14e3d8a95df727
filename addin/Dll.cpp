// The add-in's module: its entry point and its registration in one hive (the
// standard exports themselves are common/ServerExports.cpp).
#include "Registration.h"
#include "ServerRegistration.h"
#include "result.h"

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
    return TRUE;
}

HRESULT qs::server::RegisterIn(HKEY hive) noexcept try {
    const ModuleRegistration module = ThisModuleRegistration();
    if (module.path.empty()) return qs::HResultFromLastError();
    return RegisterModule(module, hive);
}
QS_CATCH_RETURN()

HRESULT qs::server::UnregisterIn(HKEY hive) noexcept try {
    const ModuleRegistration module = ThisModuleRegistration();
    if (module.path.empty()) return qs::HResultFromLastError();
    return UnregisterModule(module, hive);
}
QS_CATCH_RETURN()
