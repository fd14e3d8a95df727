#include "CommandLine.h"

namespace qs::standin {

bool ParseCommandLine(const std::vector<std::wstring>& arguments, Options* options,
                      std::wstring* problem) {
    Options parsed;
    bool haveScenario = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        const bool takesValue = argument == L"--version" || argument == L"--addin" ||
                                argument == L"--send-in-message-box" || argument == L"--store";
        if (takesValue && i + 1 >= arguments.size()) {
            *problem = argument + L" needs a value";
            return false;
        }
        if (argument == L"--version") {
            parsed.version = arguments[++i];
        } else if (argument == L"--addin") {
            parsed.addins.push_back(arguments[++i]);
        } else if (argument == L"--send-in-message-box") {
            parsed.sendInMessageBox = arguments[++i];
        } else if (argument == L"--store") {
            parsed.storePath = arguments[++i];
        } else if (argument == L"--timing") {
            parsed.timing = true;
        } else if (argument == L"--closed") {
            parsed.closed = true;
        } else if (argument.size() > 1 && argument[0] == L'-') {
            *problem = L"unknown option " + argument;
            return false;
        } else if (haveScenario) {
            *problem = L"more than one scenario file";
            return false;
        } else {
            parsed.scenarioPath = argument;
            haveScenario = true;
        }
    }
    if (parsed.closed && (!parsed.addins.empty() || !parsed.sendInMessageBox.empty())) {
        *problem = L"--closed loads no add-in and sends nothing from a message box";
        return false;
    }
    *options = std::move(parsed);
    return true;
}

} // namespace qs::standin
