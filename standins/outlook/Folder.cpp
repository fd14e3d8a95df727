#include "Folder.h"

#include "Items.h"
#include "SampleMail.h"
#include "Text.h"
#include "result.h"

#include <wrl/client.h>

#include <algorithm>

namespace qs::standin {

using Microsoft::WRL::ComPtr;

HRESULT Folder::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID_MAPIFolder ? S_OK : S_FALSE;
}

HRESULT Folder::get_EntryID(BSTR* value) {
    return ReturnText(FolderEntryId(id_), value);
}

HRESULT Folder::get_Name(BSTR* value) {
    return ReturnText(FolderName(id_), value);
}

HRESULT Folder::get_Items(_Items** value) try {
    if (!value) return E_POINTER;
    *value = nullptr;
    // A new collection each time, with its own order and position (Outlook's
    // Items.GetFirst documentation: keep one collection in a variable to walk it).
    return MakeObject<Items>(ComPtr<Folder>(this)).CopyTo(value);
}
QS_CATCH_RETURN()

HRESULT Folder::CreateItemFor(const StoredMessage& message, IDispatch** item) const noexcept try {
    return CreateItem(message.kind, StoredFields(id_, message), item);
}
QS_CATCH_RETURN()

void Folder::Watch(Items* items) {
    watching_.push_back(items);
}

void Folder::Unwatch(Items* items) noexcept {
    watching_.erase(std::remove(watching_.begin(), watching_.end(), items), watching_.end());
}

void Folder::RaiseItemAdd(const StoredMessage& message, FireStats& stats) {
    if (watching_.empty()) return;
    ComPtr<IDispatch> item;
    if (FAILED(CreateItemFor(message, &item))) return;
    // Held for the round: a sink may release the collection it was called from.
    const std::vector<ComPtr<Items>> targets(watching_.begin(), watching_.end());
    for (const auto& target : targets)
        target->RaiseItemAdd(item.Get(), stats);
}

} // namespace qs::standin
