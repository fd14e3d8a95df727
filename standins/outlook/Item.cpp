#include "Item.h"

#include "ComObject.h"
#include "ErrorInfo.h"
#include "Text.h"
#include "HostFaults.h"
#include "Outlook.h"
#include "PropertyAccessor.h"
#include "SavedItems.h"
#include "dispatch.h"
#include "result.h"

#include <cstring>
#include <cwchar>
#include <stdexcept>

namespace qs::standin {

namespace {

std::wstring Join(const std::vector<Recipient>& recipients, std::wstring Recipient::*field) {
    std::wstring joined;
    for (const auto& recipient : recipients) {
        if (!joined.empty()) joined += L"; ";
        joined += recipient.*field;
    }
    return joined;
}

GUID NewGuid() {
    GUID guid;
    if (FAILED(::CoCreateGuid(&guid))) throw std::runtime_error("no new GUID");
    return guid;
}

// One implementation for every kind: the kinds' interfaces have the same members.
template <typename Interface>
class Item final : public qs::ComObject<Item<Interface>, Interface, ISupportErrorInfo> {
public:
    Item(ItemKind kind, ItemFields fields) : info_(KindInfo(kind)), fields_(std::move(fields)) {}

    QS_IMPLEMENT_DISPATCH(Interface)

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
        return iid == __uuidof(Interface) ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE get_Class(long* value) override {
        if (!value) return E_POINTER;
        *value = info_.olClass;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_MessageClass(BSTR* value) override {
        return ReturnText(info_.messageClass, value);
    }
    HRESULT STDMETHODCALLTYPE get_EntryID(BSTR* value) override {
        return ReturnText(fields_.entryId, value);
    }
    HRESULT STDMETHODCALLTYPE get_Subject(BSTR* value) override {
        return ReturnText(fields_.subject, value);
    }
    HRESULT STDMETHODCALLTYPE put_Subject(BSTR value) override {
        return StoreText(fields_.subject, value);
    }
    HRESULT STDMETHODCALLTYPE get_Body(BSTR* value) override {
        return ReturnText(fields_.body, value);
    }
    HRESULT STDMETHODCALLTYPE put_Body(BSTR value) override {
        return StoreText(fields_.body, value);
    }
    HRESULT STDMETHODCALLTYPE get_SenderName(BSTR* value) override {
        return ReturnText(fields_.senderName, value);
    }
    HRESULT STDMETHODCALLTYPE get_SenderEmailAddress(BSTR* value) override {
        return ReturnText(fields_.senderEmailAddress, value);
    }
    HRESULT STDMETHODCALLTYPE get_To(BSTR* value) override try {
        return ReturnText(Join(fields_.to, &Recipient::name), value);
    }
    QS_CATCH_RETURN()
    HRESULT STDMETHODCALLTYPE get_RecipientAddresses(BSTR* value) override try {
        return ReturnText(Join(fields_.to, &Recipient::address), value);
    }
    QS_CATCH_RETURN()
    HRESULT STDMETHODCALLTYPE get_SentOn(DATE* value) override {
        if (!value) return E_POINTER;
        *value = fields_.sentOn;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ReceivedTime(DATE* value) override {
        if (!value) return E_POINTER;
        *value = fields_.receivedTime;
        return S_OK;
    }
    // Outlook 2007 and later: MailItem.PropertyAccessor (and every other item kind's).
    HRESULT STDMETHODCALLTYPE get_PropertyAccessor(_PropertyAccessor** value) override try {
        if (!value) return E_POINTER;
        *value = nullptr;
        if (!PropertyAccessorOffered())
            return SetError(DISP_E_MEMBERNOTFOUND, __uuidof(Interface), L"Outlook",
                            L"This version of Outlook has no PropertyAccessor.");
        return MakeObject<PropertyAccessor>(fields_.searchKey, fields_.internetMessageId)
            .CopyTo(value);
    }
    QS_CATCH_RETURN()
    // The hidden MAPIOBJECT, the item's MAPI message, through which a MAPI
    // library reads properties on every Outlook version. The stand-in's message
    // answers the same reads as PropertyAccessor does.
    HRESULT STDMETHODCALLTYPE get_MAPIOBJECT(IUnknown** value) override try {
        if (!value) return E_POINTER;
        *value = nullptr;
        return MakeObject<PropertyAccessor>(fields_.searchKey, fields_.internetMessageId)
            .CopyTo(value);
    }
    QS_CATCH_RETURN()
    HRESULT STDMETHODCALLTYPE Save() override try {
        if (TakeSaveFailure())
            return SetError(E_FAIL, __uuidof(Interface), L"Outlook",
                            L"Cannot save the item: the message store is not available.");
        NoteSaved(fields_.subject);
        return S_OK;
    }
    QS_CATCH_RETURN()

private:
    static HRESULT StoreText(std::wstring& member, BSTR value) noexcept try {
        member.assign(value ? value : L"", ::SysStringLen(value));
        return S_OK;
    }
    QS_CATCH_RETURN()

    qs::TypeInfoDispatch dispatch_{__uuidof(Interface)};
    const ItemKindInfo& info_;
    ItemFields fields_;
};

template <typename Interface> HRESULT make(ItemKind kind, ItemFields fields, IDispatch** item) {
    return qs::CreateInstance<Item<Interface>>(IID_IDispatch, reinterpret_cast<void**>(item), kind,
                                               std::move(fields));
}

bool& PropertyAccessorSlot() noexcept {
    static bool offered = true;
    return offered;
}

} // namespace

void OfferPropertyAccessor(bool offered) noexcept {
    PropertyAccessorSlot() = offered;
}

bool PropertyAccessorOffered() noexcept {
    return PropertyAccessorSlot();
}

HRESULT CreateItem(ItemKind kind, ItemFields fields, IDispatch** item) noexcept try {
    if (!item) return E_POINTER;
    *item = nullptr;
    switch (kind) {
    case ItemKind::Mail:
        return make<_MailItem>(kind, std::move(fields), item);
    case ItemKind::Appointment:
        return make<_AppointmentItem>(kind, std::move(fields), item);
    case ItemKind::Meeting:
        return make<_MeetingItem>(kind, std::move(fields), item);
    case ItemKind::TaskRequest:
        return make<_TaskRequestItem>(kind, std::move(fields), item);
    case ItemKind::Report:
        return make<_ReportItem>(kind, std::move(fields), item);
    }
    return E_INVALIDARG;
}
QS_CATCH_RETURN()

std::wstring NewEntryId() {
    // A store's entry IDs share its provider's prefix; the rest tells the messages apart.
    const GUID guid = NewGuid();
    wchar_t id[64];
    std::swprintf(id, 64, L"00000000A1B2C3D4E5F60718%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X",
                  guid.Data1, guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return id;
}

SearchKey NewSearchKey() {
    const GUID guid = NewGuid();
    SearchKey key;
    static_assert(sizeof guid == sizeof key, "a search key is as long as a GUID");
    std::memcpy(key.data(), &guid, key.size());
    return key;
}

} // namespace qs::standin
