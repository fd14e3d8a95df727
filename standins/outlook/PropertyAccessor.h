// An item's PropertyAccessor (Outlook 2007 and later), for the MAPI properties
// that the object model does not name. The host's items have two of them:
// PR_SEARCH_KEY, and PR_INTERNET_MESSAGE_ID once a message has been received.
#pragma once

#include "ComObject.h"
#include "Item.h"
#include "Outlook.h"
#include "dispatch.h"

#include <string>

namespace qs::standin {

class PropertyAccessor final
    : public qs::ComObject<PropertyAccessor, _PropertyAccessor, ISupportErrorInfo> {
public:
    PropertyAccessor(const SearchKey& searchKey, std::wstring internetMessageId)
        : searchKey_(searchKey), internetMessageId_(std::move(internetMessageId)) {}
    QS_IMPLEMENT_DISPATCH(_PropertyAccessor)
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE GetProperty(BSTR schemaName, VARIANT* value) override;

private:
    qs::TypeInfoDispatch dispatch_{IID__PropertyAccessor};
    SearchKey searchKey_;
    std::wstring internetMessageId_;
};

} // namespace qs::standin
