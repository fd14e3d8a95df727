// hold-file PATH: opens PATH (creating it) with no sharing at all, as another
// program locking the add-in's log would, says "held", and keeps it until its
// standard input ends.
#include "unique.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>

int main() {
    int count = 0;
    const qs::unique_hlocal_ptr<LPWSTR> arguments(
        ::CommandLineToArgvW(::GetCommandLineW(), &count));
    if (!arguments || count != 2) {
        std::fprintf(stderr, "usage: hold-file PATH\n");
        return 1;
    }
    const qs::unique_hfile file(::CreateFileW(arguments.get()[1], GENERIC_READ | GENERIC_WRITE, 0,
                                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                              nullptr));
    if (!file) {
        std::fprintf(stderr, "hold-file: cannot open the file (%lu)\n", ::GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}
