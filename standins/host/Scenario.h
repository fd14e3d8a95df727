// The scenario the host plays: one step per line of a UTF-8 text. Blank lines
// and lines starting with "#" are ignored.
//   send SUBJECT              the user sends a mail item; unless cancelled it moves to
//                             Sent Items (new EntryID, same search key, SentOn set)
//   send-item KIND SUBJECT    the user sends an item of another kind (AppointmentItem, ...)
//   receive SUBJECT           a mail arrives in the Inbox, with NewMail
//   receive-item KIND SUBJECT an item of any kind (ReportItem, ...) arrives in the Inbox,
//                             without NewMail
//   sent-elsewhere SUBJECT    a mail sent from another device appears in Sent Items
//   at YYYY-MM-DD HH:MM:SS    the local time the messages that follow are sent or
//                             received at; without it, the time of each step
//   idle MS                   the host's message loop runs for MS milliseconds
//   fail-next-save            the next item's Save fails
//   fail-next-saveas, fail-next-subject, fail-next-item
//                             the next such call on a SafeMailItem fails
//   fail-next-wrapper         the next creation of a SafeMailItem fails
//   restart                   the add-ins are shut down and connected again
//   disconnect-in-next-saveas the add-ins are shut down from inside the next SaveAs
//   disconnect-and-hold       the add-ins are shut down but still held until the end, and
//                             the MAPI library's objects then alive are counted
//   memory                    prints the process's private bytes and handle count
//   window                    prints the event times since the previous window
//   pause                     prints "paused" and waits for a line on standard input
#pragma once

#include "ItemKind.h"

#include <oaidl.h>

#include <string>
#include <vector>

namespace qs::standin {

struct Step {
    enum class Action {
        Send,
        Receive,
        ReceiveItem,
        SentElsewhere,
        At,
        Idle,
        FailNextSave,
        FailNextInLibrary,
        Restart,
        Memory,
        Window,
        Pause,
        DisconnectInNextSaveAs,
        DisconnectAndHold
    };
    Action action;
    int line;
    ItemKind kind = ItemKind::Mail; // Send, ReceiveItem
    std::wstring subject;           // Send, Receive, ReceiveItem, SentElsewhere
    DATE time = 0;                  // At
    unsigned long milliseconds = 0; // Idle
    std::wstring operation;         // FailNextInLibrary: "saveas", "subject", "item", "wrapper"
};

// False with a message naming the line when a line is not understood.
bool ParseScenario(const std::string& utf8, std::vector<Step>* steps, std::wstring* problem);

} // namespace qs::standin
