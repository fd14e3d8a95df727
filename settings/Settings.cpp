#include "Settings.h"

#include "ComObject.h"
#include "RegistryCmds.h"
#include "dispatch.h"
#include "result.h"
#include "unique.h"

#include <new>
#include <string>

namespace qs {

// Named apart from the coclass of the same name that the type library declares.
class Settings final : public qs::ComObject<Settings, _Settings> {
public:
    QS_IMPLEMENT_DISPATCH(_Settings)

    // _Settings: five plain properties.
    HRESULT STDMETHODCALLTYPE get_EnabledIn(short* value) override {
        return Get(enabledIn_, value);
    }
    HRESULT STDMETHODCALLTYPE put_EnabledIn(short value) override { return Put(enabledIn_, value); }
    HRESULT STDMETHODCALLTYPE get_EnabledOut(short* value) override {
        return Get(enabledOut_, value);
    }
    HRESULT STDMETHODCALLTYPE put_EnabledOut(short value) override {
        return Put(enabledOut_, value);
    }
    HRESULT STDMETHODCALLTYPE get_FolderIn(BSTR* value) override { return Get(folderIn_, value); }
    HRESULT STDMETHODCALLTYPE put_FolderIn(BSTR value) override { return Put(folderIn_, value); }
    HRESULT STDMETHODCALLTYPE get_FolderOut(BSTR* value) override { return Get(folderOut_, value); }
    HRESULT STDMETHODCALLTYPE put_FolderOut(BSTR value) override { return Put(folderOut_, value); }
    HRESULT STDMETHODCALLTYPE get_Logging(short* value) override { return Get(logging_, value); }
    HRESULT STDMETHODCALLTYPE put_Logging(short value) override { return Put(logging_, value); }

    // Each value in force (a policy's, else the user's own, else the default)
    // is read on its own; one that cannot be read keeps its default.
    HRESULT STDMETHODCALLTYPE Load(VARIANT* result) override try {
        if (result) ::VariantInit(result);
        enabledIn_ = 0;
        enabledOut_ = 0;
        folderIn_.clear();
        folderOut_.clear();
        logging_ = 0;
        GetSettingValue(L"EnabledIn", kRegNumber, enabledIn_, false);
        GetSettingValue(L"EnabledOut", kRegNumber, enabledOut_, false);
        GetSettingValue(L"FolderIn", kRegText, folderIn_, false);
        GetSettingValue(L"FolderOut", kRegText, folderOut_, false);
        GetSettingValue(L"Logging", kRegNumber, logging_, false);
        return S_OK;
    }
    QS_CATCH_RETURN()

    // Writes the user's own key only, never a policy or a default. A failed
    // write shows its message and the next write still takes place.
    HRESULT STDMETHODCALLTYPE Save() override try {
        SetRegValue(L"EnabledIn", kRegNumber, enabledIn_);
        SetRegValue(L"EnabledOut", kRegNumber, enabledOut_);
        SetRegValue(L"FolderIn", kRegText, folderIn_);
        SetRegValue(L"FolderOut", kRegText, folderOut_);
        SetRegValue(L"Logging", kRegNumber, logging_);
        return S_OK;
    }
    QS_CATCH_RETURN()

private:
    static HRESULT Get(short member, short* value) noexcept {
        if (!value) return E_POINTER;
        *value = member;
        return S_OK;
    }
    static HRESULT Put(short& member, short value) noexcept {
        member = value;
        return S_OK;
    }
    static HRESULT Get(const std::wstring& member, BSTR* value) noexcept {
        if (!value) return E_POINTER;
        *value = qs::MakeBstr(member.data(), member.size()).release();
        return *value ? S_OK : E_OUTOFMEMORY;
    }
    static HRESULT Put(std::wstring& member, BSTR value) noexcept try {
        member.assign(value ? value : L"", ::SysStringLen(value));
        return S_OK;
    }
    QS_CATCH_RETURN()

    qs::TypeInfoDispatch dispatch_{IID__Settings};
    short enabledIn_ = 0;
    short enabledOut_ = 0;
    std::wstring folderIn_;
    std::wstring folderOut_;
    short logging_ = 0;
};

} // namespace qs

HRESULT Settings_CreateInstance(REFIID iid, void** object) noexcept {
    return qs::CreateInstance<qs::Settings>(iid, object);
}
