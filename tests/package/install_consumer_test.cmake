# Installs the SDK from a build tree into a fresh folder, then builds game
# projects against that folder alone, as a game developer would: the small
# C consumer through LumoGameSDK_DIR; a game whose CMakeLists.txt holds the
# lines the package config's own comment shows, with the SDK's toolchain file
# and nothing else; the sample game exactly as its comment and the docs say
# (its own folder of the SDK, the SDK's toolchain file, CMAKE_PREFIX_PATH).
# Runs the consumer under Wine, and the sample game under the installed
# lumo-devhost from its own build folder.
#   cmake -DBUILD_DIR= -DWORK_DIR= -DEMULATOR= -DVERSION= -DCONSUMER_DIR=
#         -DREADOBJ=<llvm-readobj> -DDEF_FILE=<LumoGameSDK.def> -DSYMBOLS= -DPYTHON= -DSOURCE_DIR=
#         [-DEXPECT_DEVHOST=ON] -P install_consumer_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/package_test_lib.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
set(sdk ${WORK_DIR}/sdk)
lumo_run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${sdk})
lumo_check_sdk_files(${sdk})

# The installed DLL is stripped and its symbols beside it are its own
# (check_symbols_test.py shows the check refusing symbols of another build).
lumo_run(${PYTHON} ${SOURCE_DIR}/scripts/check_symbols.py ${sdk}/bin/LumoGameSDK.dll)

# No MSVC here to link with: check that LumoGameSDK.lib holds, for every
# export of the .def file, the x64 short-import member MSVC's linker reads.
lumo_run(${READOBJ} ${sdk}/lib/LumoGameSDK.lib)
set(members "${lumo_run_output}")
file(STRINGS ${DEF_FILE} exports REGEX "^ +lumo[A-Za-z]+$")
foreach(name ${exports})
  string(STRIP ${name} name)
  if(NOT members MATCHES "File: LumoGameSDK\.dll
Format: COFF-import-file
Type: code
Name type: name
Symbol: __imp_${name}
Symbol: ${name}
")
    message(FATAL_ERROR "LumoGameSDK.lib has no import of ${name} from LumoGameSDK.dll:\n${members}")
  endif()
endforeach()
if(NOT members MATCHES "Arch: x86_64" OR members MATCHES "Arch: (i386|aarch64|arm)")
  message(FATAL_ERROR "LumoGameSDK.lib is not for x64:\n${members}")
endif()

set(toolchain ${sdk}/toolchains/mingw-w64-x86_64.cmake)
lumo_run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer
         -DCMAKE_TOOLCHAIN_FILE=${toolchain} -DLumoGameSDK_DIR=${sdk}/lib/cmake/LumoGameSDK)
lumo_run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
lumo_run(${EMULATOR} ${WORK_DIR}/consumer/consumer_game.exe)
if(NOT lumo_run_output MATCHES "LumoGameSDK ${VERSION} \\(")
  message(FATAL_ERROR "the consumer reported another version:\n${lumo_run_output}")
endif()

# The package config's comment, word for word: its find_package and
# target_link_libraries lines in a game project named as they name it,
# configured with the SDK's toolchain file alone (no CMAKE_PREFIX_PATH, no
# LumoGameSDK_DIR: the toolchain file makes the SDK findable).
file(STRINGS ${sdk}/lib/cmake/LumoGameSDK/LumoGameSDKConfig.cmake comment_lines REGEX "^#   ")
list(TRANSFORM comment_lines REPLACE "^#   " "")
if(NOT comment_lines MATCHES "find_package\\(LumoGameSDK")
  message(FATAL_ERROR "the package config's comment shows no find_package line: ${comment_lines}")
endif()
set(start ${WORK_DIR}/comment-start)
file(MAKE_DIRECTORY ${start})
file(COPY ${CONSUMER_DIR}/main.c DESTINATION ${start})
list(JOIN comment_lines "\n" comment_code)
file(WRITE ${start}/CMakeLists.txt "cmake_minimum_required(VERSION 3.20)\nproject(comment_start LANGUAGES C)\n"
     "add_executable(game main.c)\n${comment_code}\n")
lumo_run(${CMAKE_COMMAND} -S ${start} -B ${start}/build -DCMAKE_TOOLCHAIN_FILE=${toolchain})
lumo_run(${CMAKE_COMMAND} --build ${start}/build)

# The sample game, as its comment and the integration guide build it.
set(sample ${WORK_DIR}/build-sample)
lumo_run(${CMAKE_COMMAND} -S ${sdk}/examples/sample_game -B ${sample}
         -DCMAKE_TOOLCHAIN_FILE=${toolchain} -DCMAKE_PREFIX_PATH=${sdk})
lumo_run(${CMAKE_COMMAND} --build ${sample})
if(NOT EXISTS ${sample}/LumoGameSDK.dll)
  message(FATAL_ERROR "the sample's build did not copy LumoGameSDK.dll beside sample_game.exe")
endif()
if(EXPECT_DEVHOST)
  # Started from its build folder by the installed devhost: the game finds
  # the DLL, attaches, announces its window, and ends 3 s after uninit.
  execute_process(COMMAND ${EMULATOR} ${sdk}/bin/lumo-devhost.exe --gameid=7 --token=package-test
                          ${sample}/sample_game.exe --uninit-after=300
                  WORKING_DIRECTORY ${sample}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 120)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "\\[game\\] lumoGameInit=0"
     OR NOT out MATCHES "recv IpcMsg_GameSDK_GameWndReady \\[\"7\"")
    message(FATAL_ERROR "the sample game built from the package did not run (${rc}):\n${out}")
  endif()
endif()
