// A default folder of the host's store, as MAPIFolder. Every read of Items
// makes a new collection, as Outlook's does; the folder knows the collections
// still alive and raises ItemAdd on them when the host files a message in it.
// A collection its client let go of is gone and raises nothing (Outlook's
// Items.ItemAdd example keeps its collection in a module-level variable).
// Outlook's documentation also says ItemAdd does not run when many items
// arrive at once; the host files one message per scenario line, so it runs
// for each.
#pragma once

#include "ComObject.h"
#include "EventSource.h"
#include "MailStore.h"
#include "Outlook.h"
#include "dispatch.h"

#include <memory>
#include <vector>

namespace qs::standin {

class Items;

class Folder final : public qs::ComObject<Folder, MAPIFolder, ISupportErrorInfo> {
public:
    Folder(std::shared_ptr<MailStore> store, FolderId id) : store_(std::move(store)), id_(id) {}
    QS_IMPLEMENT_DISPATCH(MAPIFolder)
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE get_EntryID(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_Items(_Items** value) override;

    // The collections' and the host's side, not part of the object model.
    const std::vector<StoredMessage>& Messages() const noexcept { return store_->Messages(id_); }
    // A new item object for a message of this folder.
    HRESULT CreateItemFor(const StoredMessage& message, IDispatch** item) const noexcept;
    // Collections register while they live.
    void Watch(Items* items);
    void Unwatch(Items* items) noexcept;
    // ItemAdd on every live collection, for a message just filed here.
    void RaiseItemAdd(const StoredMessage& message, FireStats& stats);

private:
    qs::TypeInfoDispatch dispatch_{IID_MAPIFolder};
    std::shared_ptr<MailStore> store_;
    FolderId id_;
    std::vector<Items*> watching_;
};

} // namespace qs::standin
