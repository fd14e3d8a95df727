// Runs a program in the test prefix and collects its exit code and output.
#pragma once

#include "unique.h"

#include <windows.h>

#include <string>

namespace testing_support {

struct ProcessResult {
    DWORD exitCode = ~0u;
    std::string output; // standard output and standard error, as written
};

inline ProcessResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs = 60000) {
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    qs::unique_handle readEnd, writeEnd;
    if (!::CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) return result;
    ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    PROCESS_INFORMATION process = {};
    std::wstring line = commandLine;
    const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                          CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    writeEnd.reset();
    if (started) {
        const qs::unique_handle child(process.hProcess), thread(process.hThread);
        // Read until the process ends, not until the pipe closes: Wine's helper
        // processes started on the child's behalf may hold the pipe open.
        const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
        for (;;) {
            const bool ended = ::WaitForSingleObject(child.get(), 5) == WAIT_OBJECT_0;
            DWORD available = 0;
            while (::PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &available, nullptr) &&
                   available > 0) {
                char buffer[4096];
                DWORD got = 0;
                if (!::ReadFile(readEnd.get(), buffer, sizeof(buffer), &got, nullptr) || got == 0)
                    break;
                result.output.append(buffer, got);
            }
            if (ended) break;
            if (::GetTickCount64() > deadline) {
                ::TerminateProcess(child.get(), 259);
                break;
            }
        }
        ::GetExitCodeProcess(child.get(), &result.exitCode);
    }
    return result;
}

// The folder of the running test program, where every built binary lies.
inline std::wstring BinFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

} // namespace testing_support
