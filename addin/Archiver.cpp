#include "Archiver.h"

#include "ArchivePath.h"
#include "HostInterfaces.h"
#include "LateBound.h"
#include "Logging.h"
#include "MessageKey.h"
#include "result.h"
#include "unique.h"

#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

const ArchiveDirection kOutgoingMessages = {L"MailItem", L"Send MailItem detected. Subject: ",
                                            &_Settings::get_EnabledOut, &_Settings::get_FolderOut,
                                            MessageDirection::Outgoing};
const ArchiveDirection kIncomingMessages = {L"MessageItem", L"New MailItem detected. Subject: ",
                                            &_Settings::get_EnabledIn, &_Settings::get_FolderIn,
                                            MessageDirection::Incoming};
const wchar_t* const kCatchUpDetectionLine = L"Catch-up MailItem detected. Subject: ";

namespace {

short Flag(_Settings* settings, HRESULT (STDMETHODCALLTYPE _Settings::*get)(short*)) noexcept {
    short value = 0;
    return SUCCEEDED((settings->*get)(&value)) ? value : 0;
}

HRESULT Text(_Settings* settings, HRESULT (STDMETHODCALLTYPE _Settings::*get)(BSTR*),
             std::wstring& text, CallFailure& failure) noexcept try {
    qs::unique_bstr value;
    QS_RETURN_IF_FAILED(RecordFailure((settings->*get)(value.put()), failure));
    text.assign(value.get() ? value.get() : L"", ::SysStringLen(value.get()));
    return S_OK;
} catch (...) {
    return RecordFailure(qs::HResultFromCaughtException(), failure);
}

// A name claimed on disk for the archive file. Whatever way the handler
// leaves before the save has written it, the claim goes again if it is still
// empty; what the save wrote always stays.
class NameClaimGuard {
public:
    NameClaimGuard() = default;
    NameClaimGuard(const NameClaimGuard&) = delete;
    NameClaimGuard& operator=(const NameClaimGuard&) = delete;
    ~NameClaimGuard() {
        if (held_ && path_) ReleaseEmptyClaim(*path_);
    }
    void Hold(const std::wstring* path) noexcept {
        path_ = path;
        held_ = true;
    }
    void Keep() noexcept { held_ = false; }

private:
    const std::wstring* path_ = nullptr;
    bool held_ = false;
};

HRESULT CreateWrapper(IDispatch* item, ComPtr<IDispatch>& wrapper, CallFailure& failure) noexcept {
    CLSID clsid;
    QS_RETURN_IF_FAILED(RecordFailure(::CLSIDFromProgID(kSafeMailItemProgId, &clsid), failure));
    QS_RETURN_IF_FAILED(RecordFailure(
        ::CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_PPV_ARGS(&wrapper)), failure));
    VARIANT value;
    value.vt = VT_DISPATCH;
    value.pdispVal = item;
    return InvokeByName(wrapper.Get(), L"Item", DISPATCH_PROPERTYPUT, &value, 1, nullptr, failure);
}

// Everything of the handler but its error path: a failure returns at once
// with its description.
HRESULT Archive(const ArchiveRequest& request, ArchiveOutcome& outcome, CallFailure& failure) {
    const ArchiveDirection& direction = request.direction;
    IDispatch* const item = request.item;
    _Settings* const settings = request.settings;
    const bool catchUp = request.messageTime != nullptr;
    outcome = ArchiveOutcome::Skipped;
    if (ItemTypeName(item) != (catchUp ? L"MailItem" : direction.typeName)) return S_OK;

    // A message found in its folder is archived as it is, never changed.
    if (!catchUp)
        QS_RETURN_IF_FAILED(
            InvokeByName(item, L"Save", DISPATCH_METHOD, nullptr, 0, nullptr, failure));

    // A message already archived is recognised before any wrapper is made,
    // where the item itself tells its identity.
    std::wstring key = request.index ? ItemMessageKey(item) : std::wstring();
    const auto archivedBefore = [&request, &key] {
        return request.skipArchived && request.index && request.index->Contains(key);
    };
    if (archivedBefore()) {
        outcome = ArchiveOutcome::AlreadyArchived;
        return S_OK;
    }

    ComPtr<IDispatch> wrapper;
    QS_RETURN_IF_FAILED(CreateWrapper(item, wrapper, failure));
    if (request.index && key.empty()) {
        key = WrapperMessageKey(wrapper.Get(), item);
        if (archivedBefore()) {
            outcome = ArchiveOutcome::AlreadyArchived;
            return S_OK;
        }
    }

    const bool logging = Flag(settings, &_Settings::get_Logging) > 0;
    std::wstring subject;
    if (logging) {
        QS_RETURN_IF_FAILED(GetTextProperty(wrapper.Get(), L"Subject", subject, failure));
        WriteLog((catchUp ? kCatchUpDetectionLine : direction.detectionLine) + subject);
    }

    if (Flag(settings, direction.enabled) <= 0) return S_OK;

    std::wstring folder;
    QS_RETURN_IF_FAILED(Text(settings, direction.folder, folder, failure));
    SYSTEMTIME now;
    DATE recordedTime = 0;
    if (catchUp) {
        recordedTime = *request.messageTime;
        if (!::VariantTimeToSystemTime(recordedTime, &now))
            return RecordFailure(E_INVALIDARG, failure);
    } else {
        ::GetLocalTime(&now);
        (void)::SystemTimeToVariantTime(&now, &recordedTime);
    }
    QS_RETURN_IF_FAILED(GetTextProperty(wrapper.Get(), L"Subject", subject, failure));

    // The chosen name is claimed on disk at once: a name found free cannot be
    // taken by another writer before SaveAs, which would overwrite that file.
    std::wstring path;
    NameClaimGuard claim;
    bool claimed = false;
    const auto taken = [&claimed](const std::wstring& candidate) {
        const NameClaim result = ClaimArchiveName(candidate);
        claimed = result == NameClaim::Claimed;
        return result == NameClaim::Taken;
    };
    const ULONGLONG searchStart = ::GetTickCount64();
    const auto timeUp = [searchStart] {
        return ::GetTickCount64() - searchStart > kMaxNameSearchMilliseconds;
    };
    switch (ComposeArchivePath(folder, now, CleanFileName(subject, kAllowedCharacters), taken,
                               timeUp, path)) {
    case ComposeResult::Composed:
        break;
    case ComposeResult::PathTooLong:
        failure.code = HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
        failure.description = L"The archive folder's path is too long for a file name: " + folder;
        return failure.code;
    case ComposeResult::NoFreeName:
        failure.code = HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
        failure.description =
            L"No free name for the archive file was found in the folder: " + folder;
        return failure.code;
    }
    if (claimed) claim.Hold(&path);
    if (logging) WriteLog(L"Saving Mail to: " + path);

    // The path goes by reference, as an automation client passes a string
    // variable; whatever the callee leaves in the variable is freed here, once.
    qs::unique_bstr pathArgument = qs::MakeBstr(path.data(), path.size());
    if (!pathArgument) return RecordFailure(E_OUTOFMEMORY, failure);
    VARIANT args[2]; // in reverse order: Type, then Path
    args[0].vt = VT_I2;
    args[0].iVal = request.messageFormat;
    args[1].vt = VT_BSTR | VT_BYREF;
    args[1].pbstrVal = pathArgument.addressof();
    QS_RETURN_IF_FAILED(
        InvokeByName(wrapper.Get(), L"SaveAs", DISPATCH_METHOD, args, 2, nullptr, failure));
    claim.Keep();
    wrapper.Reset();
    outcome = ArchiveOutcome::Archived;
    if (request.index) request.index->Record(direction.index, key, recordedTime);

    if (logging) WriteLog(L"Successful. ");
    return S_OK;
}

} // namespace

ArchiveOutcome ArchiveItem(const ArchiveRequest& request) noexcept {
    if (!request.settings) return ArchiveOutcome::Skipped;
    CallFailure failure;
    ArchiveOutcome outcome = ArchiveOutcome::Skipped;
    HRESULT hr;
    try {
        hr = Archive(request, outcome, failure);
    } catch (...) {
        hr = RecordFailure(qs::HResultFromCaughtException(), failure);
    }
    if (FAILED(hr)) {
        outcome = ArchiveOutcome::Failed;
        if (Flag(request.settings, &_Settings::get_Logging) > 0) {
            try {
                WriteLog(L"Error: " + failure.description);
            } catch (...) {
            }
        }
    }
    // The failure is cleared: nothing of it reaches the host.
    ::SetErrorInfo(0, nullptr);
    return outcome;
}
