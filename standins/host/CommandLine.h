// The host program's command line:
//   outlook-standin [--version TEXT] [--addin PROGID] [--timing]
//                   [--send-in-message-box SUBJECT] [--store FILE] [--closed] [SCENARIO]
#pragma once

#include <string>
#include <vector>

namespace qs::standin {

struct Options {
    std::wstring version = L"16.0.0.0";
    std::vector<std::wstring> addins; // empty: every add-in registered to load at start
    bool timing = false;
    std::wstring scenarioPath; // empty: standard input
    // Sent from inside the first message box shown on the host's thread (an
    // add-in's, at connection, say); empty: none.
    std::wstring sendInMessageBox;
    // The file the store is kept in between runs; empty: the store lives in memory.
    std::wstring storePath;
    // Outlook is not running: no add-in is loaded and no event raised, mail
    // only arrives in and is sent from the store.
    bool closed = false;
};

constexpr const char* kUsage =
    "usage: outlook-standin [--version TEXT] [--addin PROGID] [--timing] "
    "[--send-in-message-box SUBJECT] [--store FILE] [--closed] [SCENARIO]";

// False with a message on a bad command line.
bool ParseCommandLine(const std::vector<std::wstring>& arguments, Options* options,
                      std::wstring* problem);

} // namespace qs::standin
