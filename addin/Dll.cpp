// The four standard exports of an in-process COM server, and DllInstall for
// per-user registration (regsvr32 /n /i:user).
#include "Classes.h"
#include "Registration.h"
#include "module.h"
#include "result.h"

#include <objbase.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return qs::GetClassObject(kCreatableClasses, kCreatableClassCount, clsid, iid, object);
}

STDAPI DllCanUnloadNow() {
    return qs::CanUnloadNow();
}

namespace {

HRESULT Register(HKEY hive) noexcept try {
    const ModuleRegistration module = ThisModuleRegistration();
    if (module.path.empty()) return qs::hresult_from_last_error();
    return RegisterModule(module, hive);
}
QS_CATCH_RETURN()

HRESULT Unregister(HKEY hive) noexcept try {
    const ModuleRegistration module = ThisModuleRegistration();
    if (module.path.empty()) return qs::hresult_from_last_error();
    return UnregisterModule(module, hive);
}
QS_CATCH_RETURN()

} // namespace

STDAPI DllRegisterServer() {
    return Register(HKEY_LOCAL_MACHINE);
}

STDAPI DllUnregisterServer() {
    return Unregister(HKEY_LOCAL_MACHINE);
}

// "user" registers for the current user only, with no administrator rights.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
    HKEY hive = HKEY_LOCAL_MACHINE;
    QS_RETURN_IF_FAILED(qs::InstallHive(commandLine, &hive));
    return install ? Register(hive) : Unregister(hive);
}
