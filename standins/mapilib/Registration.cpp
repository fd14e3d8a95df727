#include "Registration.h"

#include "MAPIUtils.h"
#include "Redemption.h"
#include "SafeMailItem.h"
#include "ServerRegistration.h"
#include "module.h"
#include "result.h"

#include <iterator>

namespace qs {

const CreatableClass server::kClasses[] = {
    {&CLSID_MAPIUtils, L"qsMapiLib.MAPIUtils", L"MAPIUtils", &standin::MAPIUtils::Create},
    {&CLSID_SafeMailItem, L"qsMapiLib.SafeMailItem", L"SafeMailItem",
     &standin::SafeMailItem::Create},
};
const size_t server::kClassCount = std::size(server::kClasses);

namespace {

const TypeLibraryInfo kTypeLibrary = {&LIBID_Redemption, L"6.0",
                                      L"MAPI library stand-in (qsMapiLib)"};
const InterfaceInfo kInterfaces[] = {
    {&IID_IMAPIUtils, L"IMAPIUtils", kAutomationMarshaler},
    {&DIID_IMAPIUtilsEvents, L"IMAPIUtilsEvents", kDispatchMarshaler},
    {&IID_ISafeMailItem, L"ISafeMailItem", kAutomationMarshaler},
    {&IID__MessageItem, L"_MessageItem", kAutomationMarshaler},
};
const ServerDescription kServer = {server::kClasses, server::kClassCount, &kTypeLibrary,
                                   kInterfaces, std::size(kInterfaces)};

} // namespace

HRESULT server::RegisterIn(HKEY hive) noexcept try {
    const std::wstring path = ThisModulePath();
    if (path.empty()) return HResultFromLastError();
    return WriteRows(hive, NativeView(), ServerRows(kServer, path, NativePlatform()));
}
QS_CATCH_RETURN()

HRESULT server::UnregisterIn(HKEY hive) noexcept try {
    return DeleteOwnedRows(hive, NativeView(), ServerRows(kServer, L"", NativePlatform()));
}
QS_CATCH_RETURN()

} // namespace qs
