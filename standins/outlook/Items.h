// A folder's items as one collection (_Items): counted, indexed from 1,
// walked with GetFirst and GetNext, sorted by a time, and the source of
// ItemsEvents. The collection sees the folder as it is at each call; its
// order and its position in a walk are its own.
#pragma once

#include "ComObject.h"
#include "EventSource.h"
#include "Folder.h"
#include "Outlook.h"
#include "dispatch.h"

#include <wrl/client.h>

#include <vector>

namespace qs::standin {

class Items final
    : public qs::ComObject<Items, _Items, IConnectionPointContainer, ISupportErrorInfo> {
public:
    explicit Items(Microsoft::WRL::ComPtr<Folder> folder);
    ~Items();
    QS_IMPLEMENT_DISPATCH(_Items)
    QS_IMPLEMENT_CONNECTION_POINTS()
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE get_Count(long* value) override;
    HRESULT STDMETHODCALLTYPE Item(VARIANT index, IDispatch** value) override;
    HRESULT STDMETHODCALLTYPE GetFirst(IDispatch** value) override;
    HRESULT STDMETHODCALLTYPE GetNext(IDispatch** value) override;
    HRESULT STDMETHODCALLTYPE Sort(BSTR property, VARIANT descending) override;

    void RaiseItemAdd(IDispatch* item, FireStats& stats);

private:
    // The folder's messages in this collection's order, as positions in the folder.
    const std::vector<size_t>& Order();
    // The item at a 1-based index; Nothing (S_OK and null) outside the collection.
    HRESULT ItemAt(size_t index, IDispatch** value);
    HRESULT Fail(HRESULT failure, const std::wstring& description) const noexcept;

    qs::TypeInfoDispatch dispatch_{IID__Items};
    EventSource events_;
    Microsoft::WRL::ComPtr<Folder> folder_;
    DATE StoredMessage::*sortedBy_ = nullptr; // null: the order the messages were filed in
    bool descending_ = false;
    std::vector<size_t> order_;
    size_t current_ = 1;
};

} // namespace qs::standin
