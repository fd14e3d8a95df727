// The host's Application object. Add-ins get it in OnConnection and advise on
// its ApplicationEvents and ApplicationEvents_11 connection points; the host
// program raises the events and files messages in the store through the
// methods below.
#pragma once

#include "ComObject.h"
#include "EventSource.h"
#include "MailStore.h"
#include "NameSpace.h"
#include "Outlook.h"
#include "dispatch.h"

#include <wrl/client.h>

#include <memory>
#include <string>

namespace qs::standin {

class Application final : public qs::ComObject<Application, _Application, IConnectionPointContainer,
                                               ISupportErrorInfo> {
public:
    explicit Application(std::shared_ptr<MailStore> store = std::make_shared<MailStore>());
    QS_IMPLEMENT_DISPATCH(_Application)
    QS_IMPLEMENT_CONNECTION_POINTS()
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

    HRESULT STDMETHODCALLTYPE get_Class(long* value) override;
    HRESULT STDMETHODCALLTYPE get_Session(_NameSpace** value) override;
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_Version(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE GetNamespace(BSTR type, _NameSpace** value) override;

    // The host's side, not part of the object model.
    void SetVersion(std::wstring version) { version_ = std::move(version); }
    // ItemSend to every sink of both event interfaces; true when a sink set Cancel.
    bool ItemSend(IDispatch* item, FireStats& stats);
    // Outlook's own new-mail notification: NewMailEx (ApplicationEvents_11) and NewMail.
    void NewMail(const std::wstring& entryId);
    void Startup();
    void Quit();
    // Files a message in a folder of the store, with ItemAdd on its live collections.
    void File(FolderId folder, StoredMessage message, FireStats& stats);

private:
    void FireAll(DISPID id, DISPPARAMS& params, FireStats& stats);
    HRESULT SessionObject(_NameSpace** value) noexcept;
    qs::TypeInfoDispatch dispatch_{IID__Application};
    EventSource events_;
    std::wstring version_ = L"16.0.0.0";
    std::shared_ptr<MailStore> store_;
    Microsoft::WRL::ComPtr<NameSpace> session_;
};

} // namespace qs::standin
