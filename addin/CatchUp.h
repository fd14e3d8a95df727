// The catch-up: after Outlook has started, archives what the live events never
// saw — mail received or sent elsewhere while Outlook was closed, and every
// message whose archiving failed — from the default Inbox and Sent Items.
// It runs on Outlook's own thread in short slices driven by a thread timer, so
// that Outlook's message loop runs between them, and stops at once when the
// add-in is shut down. Items added to Sent Items while Outlook runs (mail sent
// from a phone) are archived as they come.
#pragma once

#include "ArchiveIndex.h"
#include "Archiver.h"
#include "EventSink.h"
#include "qsStow.h"

#include <windows.h>
#include <wrl/client.h>

#include <optional>
#include <vector>

// The longest stretch of work before Outlook's message loop runs again; one
// message more may follow, well within the 50 ms Outlook's users notice.
constexpr double kSliceMilliseconds = 25;
// While a message is pending after a failure, a pass runs this often.
constexpr UINT kRetryMilliseconds = 5 * 60 * 1000;
// A pass looks this far behind the newest message it saw the next time, for
// mail synchronised late with an older time (an hour, as a fraction of a day).
constexpr double kSettleDays = 1.0 / 24;

// Whether the catch-up is on: the value CatchUp in force (a policy's, else
// the user's own, else the machine's default), absent or not 0.
bool CatchUpSwitchedOn() noexcept;

// A direction's watermark after every message newer than `current` in its
// folder was visited: it never passes a message that failed, never goes back,
// and stays an hour behind the newest message seen (or the pass's start).
DATE NextWatermark(DATE current, std::optional<DATE> newest, DATE passStart,
                   std::optional<DATE> oldestFailure) noexcept;

class CatchUp final : private EventHandler {
public:
    // `owner` is kept alive while a slice runs; `index` outlives this object.
    CatchUp(IUnknown* owner, ArchiveIndex& index) noexcept;
    ~CatchUp();
    CatchUp(const CatchUp&) = delete;
    CatchUp& operator=(const CatchUp&) = delete;

    // Schedules a pass over the session's default folders; the caller returns at once.
    void Start(IDispatch* nameSpace, _Settings* settings, short messageFormat) noexcept;
    // Ends every pass, timer and subscription; nothing more happens until Start.
    void Stop() noexcept;
    // A message could not be archived: a pass follows within the retry time.
    void NoteFailure() noexcept;

private:
    struct Walk {
        MessageDirection direction;
        Microsoft::WRL::ComPtr<IDispatch> items;
        DATE watermark = 0;
        std::optional<DATE> newest, oldestFailure;
        bool begun = false;
        bool first = true;       // the next item is the walk's first
        bool unreadable = false; // the folder could not be read: not caught up
    };

    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) noexcept;
    void Arm(UINT milliseconds) noexcept;
    void Disarm() noexcept;
    void RunSlice() noexcept;
    void BeginPass();
    bool BeginWalk(Walk& walk);
    // False when the walk is over.
    bool Step(Walk& walk);
    void EndWalk(Walk& walk);
    void EndPass();
    void Subscribe() noexcept;
    void OnEvent(REFIID events, DISPID id, DISPPARAMS* params) noexcept override;
    void ItemAdded(IDispatch* item) noexcept;
    bool Enabled(MessageDirection direction) const noexcept;
    bool Logging() const noexcept;

    IUnknown* owner_;
    ArchiveIndex& index_;
    Microsoft::WRL::ComPtr<IDispatch> nameSpace_;
    Microsoft::WRL::ComPtr<_Settings> settings_;
    short messageFormat_ = 0;
    bool started_ = false;
    unsigned generation_ = 0; // changes at every Stop
    UINT_PTR timer_ = 0;
    bool inSlice_ = false;

    bool passRunning_ = false;
    bool pending_ = false; // a failure since the pass began
    bool folderFailed_ = false;
    DATE passStart_ = 0;
    std::vector<Walk> walks_;
    size_t current_ = 0;
    unsigned archived_ = 0, failed_ = 0, already_ = 0;

    Microsoft::WRL::ComPtr<EventSink> sentItemsSink_;
    WithEventsMember sentItems_;
};
