# What both mingw-w64 toolchain files share; each sets CMAKE_SYSTEM_PROCESSOR and
# DIZOR_MINGW_TRIPLE first.
set(CMAKE_SYSTEM_NAME Windows)

# The "posix" thread model: its C++ library has std::mutex and std::thread, which GoogleTest
# needs. Everything is linked statically, so no threading DLL ships with the program.
set(CMAKE_C_COMPILER ${DIZOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DIZOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${DIZOR_MINGW_TRIPLE}-windres)

# Look for libraries and headers only in the mingw-w64 tree, never in the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${DIZOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine on the build machine.
find_program(DIZOR_WINE_PROGRAM NAMES wine wine64)
if(DIZOR_WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DIZOR_WINE_PROGRAM})
endif()
