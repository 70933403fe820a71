# 32-bit Windows build: the shipped quillpad.exe.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QP_TRIPLE i686-w64-mingw32)
# The unsuffixed compilers use the win32 thread model; the posix ones give std::thread.
set(CMAKE_C_COMPILER   /usr/bin/${QP_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${QP_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  /usr/bin/${QP_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QP_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
get_filename_component(_qp_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_qp_root}/scripts/wine-run.sh")
