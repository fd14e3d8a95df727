# Shared part of the MinGW-w64 toolchain files. The -posix compilers are needed:
# the win32 thread model has no std::mutex, which GoogleTest requires.
set(CMAKE_C_COMPILER ${QS_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QS_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QS_TRIPLE}-windres)
set(QS_WIDL ${QS_TRIPLE}-widl)
set(CMAKE_FIND_ROOT_PATH /usr/${QS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Static runtime: the deliverables need no MinGW DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
