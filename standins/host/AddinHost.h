// Loads and unloads COM add-ins the way Outlook does: by ProgID from
// Software\Microsoft\Office\Outlook\Addins under HKCU and HKLM (LoadBehavior
// 3; the user's value wins for a ProgID in both), through IDTExtensibility2. An
// add-in that fails to connect gets LoadBehavior 2 in the user's key, where it has one.
#pragma once

#include "AddInDesigner.h"

#include <wrl/client.h>

#include <string>
#include <vector>

namespace qs::standin {

class AddinHost {
public:
    // `only`: the ProgIDs to load instead of the registered ones.
    AddinHost(std::vector<std::wstring> only, bool timing)
        : only_(std::move(only)), timing_(timing) {}

    // OnConnection for each add-in, then OnStartupComplete for those connected.
    void Connect(IDispatch* application);
    // OnBeginShutdown and OnDisconnection for each connected add-in, then release;
    // with `hold`, the references are kept until the next disconnect.
    void Disconnect(bool hold = false);
    bool AnyFailed() const noexcept { return anyFailed_; }

private:
    struct Connected {
        std::wstring progId;
        Microsoft::WRL::ComPtr<IDTExtensibility2> addin;
    };

    std::vector<std::wstring> ProgidsToLoad() const;
    HRESULT ConnectOne(const std::wstring& progId, IDispatch* application);

    std::vector<std::wstring> only_;
    bool timing_;
    bool anyFailed_ = false;
    std::vector<Connected> connected_;
    std::vector<Connected> held_;
};

} // namespace qs::standin
