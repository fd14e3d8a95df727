// The MAPI session object that GetNamespace("MAPI") returns: the way to the
// store's default folders, one folder object each for the session's life. It
// offers the NameSpaceEvents connection point; the host raises nothing on it.
#pragma once

#include "ComObject.h"
#include "EventSource.h"
#include "Folder.h"
#include "MailStore.h"
#include "Outlook.h"
#include "dispatch.h"

#include <wrl/client.h>

#include <memory>

namespace qs::standin {

class NameSpace final
    : public qs::ComObject<NameSpace, _NameSpace, IConnectionPointContainer, ISupportErrorInfo> {
public:
    explicit NameSpace(std::shared_ptr<MailStore> store);
    QS_IMPLEMENT_DISPATCH(_NameSpace)
    QS_IMPLEMENT_CONNECTION_POINTS()
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE get_Class(long* value) override;
    HRESULT STDMETHODCALLTYPE GetDefaultFolder(long type, MAPIFolder** value) override;

    // ItemAdd for a message just filed, if its folder has been asked for.
    void RaiseItemAdd(FolderId folder, const StoredMessage& message, FireStats& stats);

private:
    Microsoft::WRL::ComPtr<Folder>& Slot(FolderId folder) noexcept {
        return folder == FolderId::Inbox ? inbox_ : sentItems_;
    }

    qs::TypeInfoDispatch dispatch_{IID__NameSpace};
    EventSource events_;
    std::shared_ptr<MailStore> store_;
    Microsoft::WRL::ComPtr<Folder> inbox_, sentItems_;
};

} // namespace qs::standin
