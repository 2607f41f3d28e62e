# The -posix compilers: the default win32 thread model has no std::mutex and
# cannot build GoogleTest.
set(CMAKE_C_COMPILER ${QW_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QW_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QW_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QW_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# A DLL loaded into Explorer must not drag runtime DLLs along, and the exe
# must start from a bare application folder.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
