# Cross-compiling for 32-bit Windows (the 32-bit deliverables) with MinGW-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR X86)
set(QS_TRIPLE i686-w64-mingw32)
# Debian ships stdole2.tlb for the 64-bit Wine only; widl merely reads it for importlib.
set(QS_WINE_TLB_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
