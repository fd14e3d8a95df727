// SafeMailItem: wraps an item set through Item, reads its MAPI properties by
// tag and saves it as an Outlook message file. It reads the wrapped item by
// name through IDispatch, so the host's mail items and the library's
// MessageItems both serve.
#pragma once

#include "ComObject.h"
#include "Redemption.h"
#include "dispatch.h"

#include <wrl/client.h>

namespace qs::standin {

class SafeMailItem final : public qs::ComObject<SafeMailItem, ISafeMailItem, ISupportErrorInfo> {
public:
    static HRESULT Create(REFIID iid, void** object) noexcept;
    SafeMailItem() = default;
    QS_IMPLEMENT_DISPATCH(ISafeMailItem)
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE get_Item(IDispatch** value) override;
    HRESULT STDMETHODCALLTYPE put_Item(IDispatch* value) override;
    HRESULT STDMETHODCALLTYPE putref_Item(IDispatch* value) override;
    HRESULT STDMETHODCALLTYPE get_Subject(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE SaveAs(VARIANT path, VARIANT type) override;
    HRESULT STDMETHODCALLTYPE get_Fields(long propTag, VARIANT* value) override;

private:
    HRESULT Fail(HRESULT failure, const std::wstring& description) const noexcept;
    HRESULT RequireItem() const noexcept;
    qs::TypeInfoDispatch dispatch_{IID_ISafeMailItem};
    Microsoft::WRL::ComPtr<IDispatch> item_;
};

} // namespace qs::standin
