#include "CatchUp.h"

#include "HostInterfaces.h"
#include "LateBound.h"
#include "Logging.h"
#include "RegistryCmds.h"
#include "unique.h"

#include <oleauto.h>

#include <algorithm>
#include <unordered_map>

using Microsoft::WRL::ComPtr;

namespace {

struct FolderKind {
    long folder;         // GetDefaultFolder's type
    DISPID time;         // the message's own time
    const wchar_t* sort; // Items.Sort's property for it
    const wchar_t* name; // in the log
};

const FolderKind& Kind(MessageDirection direction) {
    static const FolderKind incoming = {kFolderInbox, kDispidReceivedTime, L"[ReceivedTime]",
                                        L"Incoming Messages"};
    static const FolderKind outgoing = {kFolderSentMail, kDispidSentOn, L"[SentOn]",
                                        L"Outgoing Messages"};
    return direction == MessageDirection::Incoming ? incoming : outgoing;
}

const ArchiveDirection& Archiving(MessageDirection direction) {
    return direction == MessageDirection::Incoming ? kIncomingMessages : kOutgoingMessages;
}

DATE Now() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    DATE date = 0;
    (void)::SystemTimeToVariantTime(&now, &date);
    return date;
}

double Milliseconds(const LARGE_INTEGER& from) {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - from.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

// A method or property that returns an object; null when it returns none.
HRESULT GetDispatch(IDispatch* object, DISPID id, WORD flags, VARIANT* args, UINT count,
                    ComPtr<IDispatch>& result, CallFailure& failure) noexcept {
    result.Reset();
    qs::unique_variant value;
    const HRESULT hr = InvokeById(object, id, flags, args, count, value.put(), failure);
    if (FAILED(hr)) return hr;
    if (value.vt == VT_DISPATCH) result = value.pdispVal;
    return S_OK;
}

// The message's own time; nothing for an item without one.
std::optional<DATE> MessageTime(IDispatch* item, DISPID id) noexcept {
    qs::unique_variant value;
    CallFailure ignored;
    if (FAILED(InvokeById(item, id, DISPATCH_PROPERTYGET, nullptr, 0, value.put(), ignored)) ||
        FAILED(::VariantChangeType(&value, &value, 0, VT_DATE)) || value.date >= kOutlookNoDate)
        return std::nullopt;
    return value.date;
}

// Thread timers have no window to carry their owner: the owner is found by
// the timer's identifier. Everything happens on Outlook's one thread.
std::unordered_map<UINT_PTR, CatchUp*>& Timers() {
    static std::unordered_map<UINT_PTR, CatchUp*> timers;
    return timers;
}

// Past this instant, a watermark is a second before the message that failed.
constexpr double kOneSecond = 1.0 / 86400;

} // namespace

bool CatchUpSwitchedOn() noexcept {
    // The value in force (a policy's, else the user's own, else the default):
    // absent, or anything but 0, is on.
    DWORD value = 0;
    return !ReadSettingNumber(L"CatchUp", value) || value != 0;
}

DATE NextWatermark(DATE current, std::optional<DATE> newest, DATE passStart,
                   std::optional<DATE> oldestFailure) noexcept {
    DATE next = std::min(newest ? *newest : passStart, passStart - kSettleDays);
    if (oldestFailure) next = std::min(next, *oldestFailure - kOneSecond);
    return std::max(current, next);
}

CatchUp::CatchUp(IUnknown* owner, ArchiveIndex& index) noexcept
    : owner_(owner), index_(index), sentItems_(DIID_OutlookItemsEvents) {}

CatchUp::~CatchUp() {
    Stop();
}

void CatchUp::Start(IDispatch* nameSpace, _Settings* settings, short messageFormat) noexcept {
    if (started_ || !nameSpace || !settings) return;
    started_ = true;
    nameSpace_ = nameSpace;
    settings_ = settings;
    messageFormat_ = messageFormat;
    passRunning_ = false;
    // The pass begins once Outlook's message loop runs again.
    Arm(0);
}

void CatchUp::Stop() noexcept {
    ++generation_;
    Disarm();
    sentItems_.Clear();
    if (sentItemsSink_) sentItemsSink_->Detach();
    sentItemsSink_.Reset();
    // A slice that shut the add-in down (a save may pump messages) lets go of
    // its walks itself, once it no longer works on them.
    if (!inSlice_) walks_.clear();
    passRunning_ = false;
    started_ = false;
    nameSpace_.Reset();
    settings_.Reset();
}

void CatchUp::NoteFailure() noexcept {
    if (!started_) return;
    pending_ = true;
    if (!passRunning_ && !timer_) Arm(kRetryMilliseconds);
}

void CatchUp::Arm(UINT milliseconds) noexcept try {
    Disarm();
    const UINT_PTR id = ::SetTimer(nullptr, 0, milliseconds, &CatchUp::OnTimer);
    if (!id) return;
    timer_ = id;
    Timers()[id] = this;
} catch (...) {
    Disarm();
}

void CatchUp::Disarm() noexcept {
    if (!timer_) return;
    ::KillTimer(nullptr, timer_);
    Timers().erase(timer_);
    timer_ = 0;
}

void CALLBACK CatchUp::OnTimer(HWND, UINT, UINT_PTR id, DWORD) noexcept {
    const auto found = Timers().find(id);
    if (found == Timers().end()) {
        ::KillTimer(nullptr, id);
        return;
    }
    CatchUp* const self = found->second;
    // A message box or a save inside a slice runs a message loop of its own.
    if (self->inSlice_) return;
    self->Disarm();
    // The add-in stays alive for the slice, whatever the slice sets off.
    const ComPtr<IUnknown> owner(self->owner_);
    self->RunSlice();
}

void CatchUp::RunSlice() noexcept {
    const unsigned generation = generation_;
    const ComPtr<_Settings> settings = settings_;
    inSlice_ = true;
    try {
        LARGE_INTEGER start;
        ::QueryPerformanceCounter(&start);
        if (!passRunning_) BeginPass();
        while (generation == generation_ && current_ < walks_.size() &&
               Milliseconds(start) < kSliceMilliseconds) {
            Walk& walk = walks_[current_];
            if (!walk.begun ? BeginWalk(walk) : Step(walk)) continue;
            if (generation != generation_) break;
            EndWalk(walks_[current_]);
            ++current_;
        }
        if (generation == generation_ && current_ >= walks_.size()) EndPass();
    } catch (...) {
        // What could not be done is tried again at the next pass.
        if (generation == generation_) {
            passRunning_ = false;
            walks_.clear();
            Arm(kRetryMilliseconds);
        }
    }
    inSlice_ = false;
    if (generation != generation_)
        walks_.clear();
    else if (passRunning_)
        Arm(0);
}

void CatchUp::BeginPass() {
    passRunning_ = true;
    pending_ = folderFailed_ = false;
    archived_ = failed_ = already_ = 0;
    passStart_ = Now();
    walks_.clear();
    current_ = 0;
    index_.Load();
    for (MessageDirection direction : {MessageDirection::Incoming, MessageDirection::Outgoing}) {
        if (Enabled(direction)) {
            walks_.emplace_back();
            walks_.back().direction = direction;
        } else
            index_.ForgetWatermark(direction);
    }
    if (Enabled(MessageDirection::Outgoing) && !sentItems_) Subscribe();
}

bool CatchUp::BeginWalk(Walk& walk) {
    walk.begun = true;
    const FolderKind& kind = Kind(walk.direction);
    const std::optional<DATE> watermark = index_.Watermark(walk.direction);
    // The first start archives nothing old: the direction begins now.
    walk.watermark = watermark ? *watermark : passStart_;
    if (!watermark) index_.SetWatermark(walk.direction, passStart_);
    if (Logging())
        WriteLog(std::wstring(L"Catching up ") + kind.name + L" since " +
                 GeneralDateText(walk.watermark));

    CallFailure failure;
    VARIANT args[2];
    args[0].vt = VT_I4;
    args[0].lVal = kind.folder;
    ComPtr<IDispatch> folder;
    HRESULT hr = GetDispatch(nameSpace_.Get(), kDispidGetDefaultFolder, DISPATCH_METHOD, args, 1,
                             folder, failure);
    if (SUCCEEDED(hr) && folder)
        hr = GetDispatch(folder.Get(), kDispidItems, DISPATCH_PROPERTYGET, nullptr, 0, walk.items,
                         failure);
    if (SUCCEEDED(hr) && walk.items) {
        // Newest first: the walk ends at the first message the watermark has passed.
        const qs::unique_bstr property(::SysAllocString(kind.sort));
        args[1].vt = VT_BSTR;
        args[1].bstrVal = property.get();
        args[0].vt = VT_BOOL;
        args[0].boolVal = VARIANT_TRUE;
        hr = InvokeById(walk.items.Get(), kDispidSort, DISPATCH_METHOD, args, 2, nullptr, failure);
    }
    if (SUCCEEDED(hr) && !walk.items) hr = RecordFailure(E_POINTER, failure);
    if (FAILED(hr)) {
        folderFailed_ = walk.unreadable = true;
        walk.items.Reset();
        if (Logging()) WriteLog(L"Error: " + failure.description);
        ::SetErrorInfo(0, nullptr);
        return false;
    }
    return true;
}

bool CatchUp::Step(Walk& walk) {
    if (!walk.items) return false;
    CallFailure failure;
    ComPtr<IDispatch> item;
    if (FAILED(GetDispatch(walk.items.Get(), walk.first ? kDispidGetFirst : kDispidGetNext,
                           DISPATCH_METHOD, nullptr, 0, item, failure))) {
        folderFailed_ = walk.unreadable = true;
        if (Logging()) WriteLog(L"Error: " + failure.description);
        ::SetErrorInfo(0, nullptr);
        walk.items.Reset();
        return false;
    }
    walk.first = false;
    if (!item) return false;
    if (ItemTypeName(item.Get()) != L"MailItem") return true;
    const std::optional<DATE> time = MessageTime(item.Get(), Kind(walk.direction).time);
    if (!time) return true;
    if (*time <= walk.watermark) return false;
    walk.newest = std::max(walk.newest.value_or(*time), *time);

    ArchiveRequest request{Archiving(walk.direction), item.Get(), settings_.Get(), messageFormat_};
    request.index = &index_;
    request.skipArchived = true;
    request.messageTime = &*time;
    switch (ArchiveItem(request)) {
    case ArchiveOutcome::Archived:
        ++archived_;
        break;
    case ArchiveOutcome::AlreadyArchived:
        ++already_;
        break;
    case ArchiveOutcome::Failed:
        ++failed_;
        walk.oldestFailure = std::min(walk.oldestFailure.value_or(*time), *time);
        break;
    case ArchiveOutcome::Skipped:
        break;
    }
    return true;
}

void CatchUp::EndWalk(Walk& walk) {
    walk.items.Reset();
    // A folder that could not be read has not been caught up.
    if (walk.unreadable) return;
    const DATE next = NextWatermark(walk.watermark, walk.newest, passStart_, walk.oldestFailure);
    if (next > walk.watermark) index_.SetWatermark(walk.direction, next);
}

void CatchUp::EndPass() {
    passRunning_ = false;
    walks_.clear();
    if (Logging())
        WriteLog(L"Catch-up done: " + std::to_wstring(archived_) + L" archived, " +
                 std::to_wstring(failed_) + L" failed, " + std::to_wstring(already_) +
                 L" already archived");
    if (failed_ > 0 || folderFailed_ || pending_) Arm(kRetryMilliseconds);
    pending_ = false;
}

void CatchUp::Subscribe() noexcept {
    CallFailure failure;
    VARIANT folderType;
    folderType.vt = VT_I4;
    folderType.lVal = kFolderSentMail;
    ComPtr<IDispatch> folder, items;
    if (FAILED(GetDispatch(nameSpace_.Get(), kDispidGetDefaultFolder, DISPATCH_METHOD, &folderType,
                           1, folder, failure)) ||
        !folder ||
        FAILED(GetDispatch(folder.Get(), kDispidItems, DISPATCH_PROPERTYGET, nullptr, 0, items,
                           failure)) ||
        !items) {
        ::SetErrorInfo(0, nullptr);
        return;
    }
    if (!sentItemsSink_ && FAILED(EventSink::Create(DIID_OutlookItemsEvents, this,
                                                    sentItemsSink_.ReleaseAndGetAddressOf())))
        return;
    // The Items object is held: one that is released raises no more events.
    (void)sentItems_.Set(items.Get(), sentItemsSink_.Get());
}

void CatchUp::OnEvent(REFIID events, DISPID id, DISPPARAMS* params) noexcept {
    if (events != DIID_OutlookItemsEvents || id != kDispidItemAdd || !params || params->cArgs < 1)
        return;
    const VARIANT& argument = params->rgvarg[params->cArgs - 1];
    IDispatch* item = argument.vt == VT_DISPATCH ? argument.pdispVal
                      : argument.vt == (VT_DISPATCH | VT_BYREF) && argument.ppdispVal
                          ? *argument.ppdispVal
                          : nullptr;
    if (item) ItemAdded(item);
}

// Mail sent elsewhere and synchronised while Outlook runs, and the copy in
// Sent Items of a message archived when it was sent, which the index knows.
void CatchUp::ItemAdded(IDispatch* item) noexcept {
    if (!started_ || !Enabled(MessageDirection::Outgoing)) return;
    const ComPtr<IUnknown> owner(owner_);
    const ComPtr<_Settings> settings = settings_;
    const std::optional<DATE> time = MessageTime(item, kDispidSentOn);
    if (!time) return;
    index_.Load();
    // Old mail moved back into the folder is not new.
    const std::optional<DATE> watermark = index_.Watermark(MessageDirection::Outgoing);
    if (watermark && *time <= *watermark) return;
    ArchiveRequest request{kOutgoingMessages, item, settings.Get(), messageFormat_};
    request.index = &index_;
    request.skipArchived = true;
    request.messageTime = &*time;
    if (ArchiveItem(request) == ArchiveOutcome::Failed) NoteFailure();
}

bool CatchUp::Enabled(MessageDirection direction) const noexcept {
    short value = 0;
    if (!settings_) return false;
    const HRESULT hr = direction == MessageDirection::Incoming ? settings_->get_EnabledIn(&value)
                                                               : settings_->get_EnabledOut(&value);
    return SUCCEEDED(hr) && value > 0;
}

bool CatchUp::Logging() const noexcept {
    short value = 0;
    return settings_ && SUCCEEDED(settings_->get_Logging(&value)) && value > 0;
}
