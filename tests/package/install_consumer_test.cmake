# Installs the SDK from a build tree into a fresh folder, then builds game
# projects against that folder alone, as a game developer would, and runs
# the small one under Wine.
#   cmake -DBUILD_DIR= -DWORK_DIR= -DTOOLCHAIN= -DEMULATOR= -DVERSION= -DCONSUMER_DIR=
#         -DREADOBJ=<llvm-readobj> -DDEF_FILE=<LumoGameSDK.def>
#         [-DSAMPLE_DIR=] [-DEXPECT_DEVHOST=ON] [-DEXPECT_SAMPLE=ON] -P install_consumer_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/package_test_lib.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
set(sdk ${WORK_DIR}/sdk)
lumo_run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${sdk})
foreach(f ${LUMO_SDK_FILES})
  if(NOT EXISTS ${sdk}/${f})
    message(FATAL_ERROR "the installed SDK lacks ${f}")
  endif()
endforeach()

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

# Builds the game project in `source` against the installed SDK only.
function(build_game source build)
  lumo_run(${CMAKE_COMMAND} -S ${source} -B ${build}
           -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}
           -DLumoGameSDK_DIR=${sdk}/lib/cmake/LumoGameSDK)
  lumo_run(${CMAKE_COMMAND} --build ${build})
endfunction()

build_game(${CONSUMER_DIR} ${WORK_DIR}/consumer)
lumo_run(${EMULATOR} ${WORK_DIR}/consumer/consumer_game.exe)
if(NOT lumo_run_output MATCHES "LumoGameSDK ${VERSION} \\(")
  message(FATAL_ERROR "the consumer reported another version:\n${lumo_run_output}")
endif()

if(SAMPLE_DIR)
  build_game(${SAMPLE_DIR} ${WORK_DIR}/sample_game)
endif()
