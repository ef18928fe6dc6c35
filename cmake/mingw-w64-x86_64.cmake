# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads
# variant, needed for std::thread/std::mutex), tests run under Wine.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)

get_filename_component(_repo "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

# Libraries built by scripts/setup (static libjpeg-turbo) live in this prefix.
set(VALMORIN_DEPS_PREFIX "${_repo}/build/deps/mingw")

set(CMAKE_FIND_ROOT_PATH /usr/${_triple} "${VALMORIN_DEPS_PREFIX}")
list(APPEND CMAKE_PREFIX_PATH "${VALMORIN_DEPS_PREFIX}")

# Build tools come from the host; headers, libraries and CMake packages only
# from the target roots, never from the host's /usr.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Lets ctest and add_custom_command run the produced .exe files.
set(CMAKE_CROSSCOMPILING_EMULATOR "${_repo}/scripts/wine-exec")
