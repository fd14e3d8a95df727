#include "AddinHost.h"

#include "Output.h"
#include "result.h"
#include "unique.h"

#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace qs::standin {

namespace {

constexpr const wchar_t* kAddinsKey = L"Software\\Microsoft\\Office\\Outlook\\Addins";

// The custom argument of every IDTExtensibility2 call: an empty array of variants.
unique_safearray EmptyCustom() {
    return unique_safearray(::SafeArrayCreateVector(VT_VARIANT, 0, 0));
}

// The LoadBehavior of an add-in listed under `addins`, if it has one. A user's
// key without it (qsStow keeps its settings in that key) lists nothing.
bool LoadBehavior(HKEY addins, const wchar_t* progId, DWORD& value) {
    DWORD size = sizeof value;
    return ::RegGetValueW(addins, progId, L"LoadBehavior", RRF_RT_REG_DWORD, nullptr, &value,
                          &size) == ERROR_SUCCESS;
}

// Each add-in listed under `hive`'s Addins key, in the host's own registry view,
// with its LoadBehavior, in the key's order; those already in `listed` are skipped.
void AddListed(HKEY hive, std::vector<std::pair<std::wstring, DWORD>>& listed) {
    unique_hkey addins;
    if (::RegOpenKeyExW(hive, kAddinsKey, 0, KEY_READ, addins.put()) != ERROR_SUCCESS) return;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(addins.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        DWORD behavior;
        if (!LoadBehavior(addins.get(), name, behavior)) continue;
        const bool seen = std::any_of(listed.begin(), listed.end(), [&](const auto& entry) {
            return ::CompareStringOrdinal(entry.first.c_str(), -1, name, -1, TRUE) == CSTR_EQUAL;
        });
        if (!seen) listed.emplace_back(name, behavior);
    }
}

// As Outlook does after a load error: still to load at start, but not loaded.
void MarkUnloaded(const std::wstring& progId) {
    unique_hkey key;
    const std::wstring path = std::wstring(kAddinsKey) + L"\\" + progId;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_SET_VALUE, key.put()) !=
        ERROR_SUCCESS)
        return;
    const DWORD unloaded = 2;
    ::RegSetValueExW(key.get(), L"LoadBehavior", 0, REG_DWORD,
                     reinterpret_cast<const BYTE*>(&unloaded), sizeof unloaded);
}

} // namespace

std::vector<std::wstring> AddinHost::ProgidsToLoad() const {
    if (!only_.empty()) return only_;
    // As Outlook: the user's add-ins, then the machine's; for a ProgID listed in
    // both, the user's LoadBehavior decides.
    std::vector<std::pair<std::wstring, DWORD>> listed;
    AddListed(HKEY_CURRENT_USER, listed);
    AddListed(HKEY_LOCAL_MACHINE, listed);
    std::vector<std::wstring> progIds;
    for (const auto& [progId, behavior] : listed)
        if (behavior == 3) progIds.push_back(progId);
    return progIds;
}

HRESULT AddinHost::ConnectOne(const std::wstring& progId, IDispatch* application) {
    CLSID clsid;
    QS_RETURN_IF_FAILED(::CLSIDFromProgID(progId.c_str(), &clsid));
    Microsoft::WRL::ComPtr<IDTExtensibility2> addin;
    QS_RETURN_IF_FAILED(
        ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&addin)));
    unique_safearray custom = EmptyCustom();
    SAFEARRAY* customArray = custom.get();
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    const HRESULT hr = addin->OnConnection(application, ext_cm_Startup, nullptr, &customArray);
    ::QueryPerformanceCounter(&end);
    QS_RETURN_IF_FAILED(hr);
    connected_.push_back({progId, addin});
    PrintLine(L"connected " + progId);
    if (timing_) {
        char line[64];
        std::snprintf(line, sizeof line, "connect-ms %.1f",
                      static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
                          static_cast<double>(frequency.QuadPart));
        PrintLine(std::string(line));
    }
    return S_OK;
}

void AddinHost::Connect(IDispatch* application) {
    for (const std::wstring& progId : ProgidsToLoad()) {
        const HRESULT hr = ConnectOne(progId, application);
        if (FAILED(hr)) {
            char code[16];
            std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
            PrintLine("connect failed " + ToUtf8(progId) + " " + code);
            MarkUnloaded(progId);
            anyFailed_ = true;
        }
    }
    // Like Outlook, the host goes on whatever these calls return.
    for (const Connected& connected : connected_) {
        unique_safearray custom = EmptyCustom();
        SAFEARRAY* customArray = custom.get();
        connected.addin->OnStartupComplete(&customArray);
    }
}

void AddinHost::Disconnect(bool hold) {
    // May be called from inside an add-in's event: the list is taken first.
    const std::vector<Connected> leaving = std::move(connected_);
    connected_.clear();
    if (!hold) held_.clear();
    for (const Connected& connected : leaving) {
        unique_safearray custom = EmptyCustom();
        SAFEARRAY* customArray = custom.get();
        connected.addin->OnBeginShutdown(&customArray);
    }
    for (const Connected& connected : leaving) {
        unique_safearray custom = EmptyCustom();
        SAFEARRAY* customArray = custom.get();
        connected.addin->OnDisconnection(ext_dm_HostShutdown, &customArray);
    }
    if (hold) held_.insert(held_.end(), leaving.begin(), leaving.end());
}

} // namespace qs::standin
