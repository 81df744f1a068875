# Cross-compiles for Windows x64 with Clang and LLD on the MinGW-w64 sysroot,
# using the same libstdc++ (POSIX threading model) as the GCC toolchain file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LUMO_MINGW_PREFIX x86_64-w64-mingw32)
set(LUMO_MINGW_SYSROOT /usr/${LUMO_MINGW_PREFIX})
# Debian names GCC's folder "12-posix"; Clang's driver cannot parse that as a
# version, so it finds neither libstdc++'s headers nor its libraries by itself.
file(GLOB LUMO_MINGW_GCC_DIRS LIST_DIRECTORIES true /usr/lib/gcc/${LUMO_MINGW_PREFIX}/*-posix)
list(SORT LUMO_MINGW_GCC_DIRS COMPARE NATURAL ORDER DESCENDING)
list(GET LUMO_MINGW_GCC_DIRS 0 LUMO_MINGW_GCC_DIR)
if(NOT IS_DIRECTORY "${LUMO_MINGW_GCC_DIR}/include/c++")
  message(FATAL_ERROR "No POSIX-threads libstdc++ for ${LUMO_MINGW_PREFIX}: install g++-mingw-w64-x86-64-posix")
endif()

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${LUMO_MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${LUMO_MINGW_PREFIX})
find_program(CMAKE_RC_COMPILER NAMES llvm-windres llvm-windres-14 REQUIRED)
# The sysroot keeps the build machine's /usr/include out of the search path.
set(CMAKE_SYSROOT ${LUMO_MINGW_SYSROOT})

set(LUMO_LIBSTDCXX_INCLUDE ${LUMO_MINGW_GCC_DIR}/include/c++)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
    ${LUMO_LIBSTDCXX_INCLUDE} ${LUMO_LIBSTDCXX_INCLUDE}/${LUMO_MINGW_PREFIX} ${LUMO_LIBSTDCXX_INCLUDE}/backward)

# LLD 14 writes the export directory with ordinal base 0 and an empty slot 0,
# so the DLL would list six exported functions; from LLD 16 on it starts at
# ordinal 1, as the MSVC linker does.
find_program(LUMO_LLD NAMES ld.lld-16 REQUIRED)
# -pthread links winpthread, which this libstdc++ variant is built on.
set(LUMO_CLANG_LINK_FLAGS "-fuse-ld=lld --ld-path=${LUMO_LLD} -pthread -L${LUMO_MINGW_GCC_DIR}")
set(CMAKE_EXE_LINKER_FLAGS_INIT ${LUMO_CLANG_LINK_FLAGS})
set(CMAKE_SHARED_LINKER_FLAGS_INIT ${LUMO_CLANG_LINK_FLAGS})
set(CMAKE_MODULE_LINKER_FLAGS_INIT ${LUMO_CLANG_LINK_FLAGS})

set(CMAKE_FIND_ROOT_PATH ${LUMO_MINGW_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
