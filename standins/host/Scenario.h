// The scenario the host plays: one step per line of a UTF-8 text. Blank lines
// and lines starting with "#" are ignored.
//   send SUBJECT              the user sends a mail item
//   send-item KIND SUBJECT    the user sends an item of another kind (AppointmentItem, ...)
//   receive SUBJECT           a mail arrives
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

#include <string>
#include <vector>

namespace qs::standin {

struct Step {
    enum class Action {
        Send,
        Receive,
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
    ItemKind kind = ItemKind::Mail; // Send
    std::wstring subject;           // Send, Receive
    std::wstring operation;         // FailNextInLibrary: "saveas", "subject", "item", "wrapper"
};

// False with a message naming the line when a line is not understood.
bool ParseScenario(const std::string& utf8, std::vector<Step>* steps, std::wstring* problem);

} // namespace qs::standin
