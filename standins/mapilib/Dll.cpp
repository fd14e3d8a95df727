// The in-process server's entry points.
#include "ClassFactory.h"
#include "Registration.h"
#include "ServerRegistration.h"
#include "result.h"

#include <windows.h>

using namespace qs::standin;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return qs::GetClassObject(kCreatableClasses, kCreatableClassCount, clsid, iid, object);
}

STDAPI DllCanUnloadNow() {
    return qs::CanUnloadNow();
}

STDAPI DllRegisterServer() {
    return RegisterServer(HKEY_LOCAL_MACHINE);
}

STDAPI DllUnregisterServer() {
    return UnregisterServer(HKEY_LOCAL_MACHINE);
}

// regsvr32 /n /i:user [/u] registers for the current user only.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
    HKEY hive = HKEY_LOCAL_MACHINE;
    QS_RETURN_IF_FAILED(qs::InstallHive(commandLine, &hive));
    return install ? RegisterServer(hive) : UnregisterServer(hive);
}
