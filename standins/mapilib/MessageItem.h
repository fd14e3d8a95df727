// The item handed to NewMail: the library's view of a host mail item. Its type
// name is "MessageItem"; it reads every property from the host's item, hands
// on the host item's MAPI message (MAPIOBJECT), and Save saves the host's item.
#pragma once

#include "ComObject.h"
#include "Redemption.h"
#include "dispatch.h"

#include <wrl/client.h>

namespace qs::standin {

class MessageItem final : public qs::ComObject<MessageItem, _MessageItem, ISupportErrorInfo> {
public:
    explicit MessageItem(IDispatch* hostItem) : hostItem_(hostItem) {}
    QS_IMPLEMENT_DISPATCH(_MessageItem)
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE get_Class(long* value) override;
    HRESULT STDMETHODCALLTYPE get_MessageClass(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_Subject(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_Body(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_SenderName(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_SenderEmailAddress(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_To(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_SentOn(DATE* value) override;
    HRESULT STDMETHODCALLTYPE get_ReceivedTime(DATE* value) override;
    HRESULT STDMETHODCALLTYPE get_RecipientAddresses(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_MAPIOBJECT(IUnknown** value) override;
    HRESULT STDMETHODCALLTYPE Save() override;

private:
    // Reads a property of the host's item as `type` into `value`.
    HRESULT Read(const wchar_t* name, VARTYPE type, VARIANT* value) noexcept;
    HRESULT ReadText(const wchar_t* name, BSTR* value) noexcept;
    HRESULT ReadDate(const wchar_t* name, DATE* value) noexcept;
    qs::TypeInfoDispatch dispatch_{IID__MessageItem};
    Microsoft::WRL::ComPtr<IDispatch> hostItem_;
};

} // namespace qs::standin
