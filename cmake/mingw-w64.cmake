# What the two MinGW-w64 cross builds share; the toolchain file that includes
# this sets _marvane_triple and CMAKE_SYSTEM_PROCESSOR first. Test programs
# run under Wine through cmake/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix compilers carry std::thread; either kind builds this project.
find_program(CMAKE_C_COMPILER NAMES ${_marvane_triple}-gcc-posix ${_marvane_triple}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_marvane_triple}-g++-posix ${_marvane_triple}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_marvane_triple}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${_marvane_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
