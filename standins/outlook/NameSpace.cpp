#include "NameSpace.h"

#include "ErrorInfo.h"
#include "result.h"

namespace qs::standin {

NameSpace::NameSpace(std::shared_ptr<MailStore> store)
    : events_(*this, {DIID_NameSpaceEvents}), store_(std::move(store)) {}

HRESULT NameSpace::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID__NameSpace ? S_OK : S_FALSE;
}

HRESULT NameSpace::get_Class(long* value) {
    if (!value) return E_POINTER;
    *value = olNamespace;
    return S_OK;
}

HRESULT NameSpace::GetDefaultFolder(long type, MAPIFolder** value) try {
    if (!value) return E_POINTER;
    *value = nullptr;
    if (type != olFolderInbox && type != olFolderSentMail)
        return SetError(E_INVALIDARG, IID__NameSpace, L"Outlook",
                        L"The stand-in's store has no default folder of type " +
                            std::to_wstring(type) + L": only the Inbox (6) and Sent Items (5).");
    const FolderId folder = static_cast<FolderId>(type);
    auto& slot = Slot(folder);
    if (!slot) slot = MakeObject<Folder>(store_, folder);
    return slot.CopyTo(value);
}
QS_CATCH_RETURN()

void NameSpace::RaiseItemAdd(FolderId folder, const StoredMessage& message, FireStats& stats) {
    // Without a folder object there is no collection of it to raise events on.
    if (const Microsoft::WRL::ComPtr<Folder> target = Slot(folder))
        target->RaiseItemAdd(message, stats);
}

} // namespace qs::standin
