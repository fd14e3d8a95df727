// The host program's command line:
//   outlook-standin [--version TEXT] [--addin PROGID] [--timing] [SCENARIO]
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
};

constexpr const char* kUsage =
    "usage: outlook-standin [--version TEXT] [--addin PROGID] [--timing] "
    "[--send-in-message-box SUBJECT] [SCENARIO]";

// False with a message on a bad command line.
bool ParseCommandLine(const std::vector<std::wstring>& arguments, Options* options,
                      std::wstring* problem);

} // namespace qs::standin
