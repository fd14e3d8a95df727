// outlook-standin: a stand-in for Outlook that loads COM add-ins as Outlook
// does and plays a scenario of sent and received mail against them.
#include "CommandLine.h"
#include "Host.h"
#include "Output.h"
#include "Scenario.h"
#include "unique.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>

using namespace qs::standin;

namespace {

std::vector<std::wstring> arguments() {
    int count = 0;
    const qs::unique_hlocal_ptr<LPWSTR> list(::CommandLineToArgvW(::GetCommandLineW(), &count));
    std::vector<std::wstring> result;
    for (int i = 1; list && i < count; ++i)
        result.push_back(list.get()[i]);
    return result;
}

bool ReadAll(FILE* file, std::string* text) {
    char buffer[4096];
    size_t read;
    while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text->append(buffer, read);
    return !std::ferror(file);
}

bool ReadScenario(const std::wstring& path, std::string* text) {
    if (path.empty()) return ReadAll(stdin, text);
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) return false;
    const bool ok = ReadAll(file, text);
    std::fclose(file);
    return ok;
}

} // namespace

int main() {
    // Plain "\n" line ends on both streams; the scenario is read as bytes.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);

    Options options;
    std::wstring problem;
    if (!ParseCommandLine(arguments(), &options, &problem)) {
        PrintError(problem);
        std::fprintf(stderr, "%s\n", kUsage);
        return 1;
    }
    std::string text;
    if (!ReadScenario(options.scenarioPath, &text)) {
        PrintError(L"cannot read the scenario " + options.scenarioPath);
        return 1;
    }
    std::vector<Step> steps;
    if (!ParseScenario(text, &steps, &problem)) {
        PrintError(problem);
        return 1;
    }
    return RunHost(options, steps);
}
