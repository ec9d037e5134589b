# Cross-build for 32-bit Windows with MinGW-w64 (posix thread model: std::mutex and GoogleTest need it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${MINGW_TRIPLE}-windres)
set(WIDL               ${MINGW_TRIPLE}-widl)
set(WIDL_ARCH          --win32)
# widl imports stdole2.tlb from Wine's 32-bit files; where the 32-bit Wine is not installed,
# scripts/bootstrap keeps a copy taken from the same package version.
set(WINE_PE_DIR        /usr/lib/i386-linux-gnu/wine/i386-windows)
if(NOT EXISTS ${WINE_PE_DIR}/stdole2.tlb)
  set(WINE_PE_DIR      /usr/local/lib/vantorelix/i386-windows)
endif()
set(WINE_LOADER        wine)
# The prefix architecture and the machine type that objdump reports for the DLL.
set(WINE_ARCH          win32)
set(PE_MACHINE_FORMAT  pei-i386)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
