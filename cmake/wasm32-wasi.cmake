# WebAssembly for the page, with Debian's own clang, lld, wasm32 libc++ and wasi-libc (found by
# the compiler where Debian installs them). A reactor module: no main, the page calls its exports.
# CMake knows no WASI platform of its own: a generic one, told the suffix.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(CMAKE_C_COMPILER clang-19)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_C_COMPILER_TARGET wasm32-wasi)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
set(CMAKE_EXECUTABLE_SUFFIX .wasm)
set(CMAKE_CXX_FLAGS_INIT "-fno-exceptions")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -mexec-model=reactor -Wl,--strip-all")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Nothing of the page installs as a library: the folder is named, not guessed for a platform
# GNUInstallDirs does not know.
set(CMAKE_INSTALL_LIBDIR lib)
