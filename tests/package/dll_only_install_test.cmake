# The README's DLL-only build in a fresh folder (no build type given), then
# an install from it: the DLL is a release build, stripped, with its symbols,
# and the install holds everything but the development host.
#   cmake -DWORK_DIR= -DSOURCE_DIR= -DSYMBOLS= -DPYTHON= -P dll_only_install_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/package_test_lib.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
set(build ${WORK_DIR}/build)
lumo_run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${build}
         -DCMAKE_TOOLCHAIN_FILE=${SOURCE_DIR}/cmake/clang-mingw-w64-x86_64.cmake
         -DLUMO_BUILD_TESTS=OFF -DLUMO_BUILD_BENCH=OFF -DLUMO_VERIFY_HOST=login.example.com)
file(STRINGS ${build}/CMakeCache.txt build_type REGEX "^CMAKE_BUILD_TYPE:")
if(NOT build_type STREQUAL "CMAKE_BUILD_TYPE:STRING=Release")
  message(FATAL_ERROR "a build without a build type is not a release build: ${build_type}")
endif()
lumo_run(${CMAKE_COMMAND} --build ${build} --target LumoGameSDK -j 2)
lumo_run(${CMAKE_COMMAND} --install ${build} --prefix ${WORK_DIR}/sdk)
lumo_check_sdk_files(${WORK_DIR}/sdk)
lumo_run(${PYTHON} ${SOURCE_DIR}/scripts/check_symbols.py ${WORK_DIR}/sdk/bin/LumoGameSDK.dll)
