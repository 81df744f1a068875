# Makes the release archive with CPack, unpacks it and checks it as its users
# meet it: the files, nothing of the build beyond them, docs that point only
# inside it, the Unity and Unreal packages, and the DLL's symbols.
#   cmake -DBUILD_DIR= -DWORK_DIR= -DVERSION= -DSYMBOLS= -DPYTHON= -DSOURCE_DIR=
#         -DDLL_MAP= [-DDEVHOST_MAP=] [-DHOSTCHECK_MAP=] (linker maps naming archives)
#         [-DEXPECT_DEVHOST=ON] [-DEXPECT_HOSTCHECK=ON] -P archive_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/package_test_lib.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
lumo_run(${CMAKE_CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR})
set(top LumoGameSDK-${VERSION}-win64)
set(zip ${WORK_DIR}/${top}.zip)
if(NOT EXISTS ${zip})
  message(FATAL_ERROR "cpack did not write ${zip}:\n${lumo_run_output}")
endif()

file(MAKE_DIRECTORY ${WORK_DIR}/unpacked)
lumo_run(${CMAKE_COMMAND} -E chdir ${WORK_DIR}/unpacked ${CMAKE_COMMAND} -E tar xf ${zip})
set(root ${WORK_DIR}/unpacked/${top})
lumo_check_sdk_files(${root})

# Nothing else of the build (test programs, static libraries, maps) may reach
# what game developers receive.
file(GLOB_RECURSE entries RELATIVE ${root} ${root}/*)
foreach(rel ${entries})
  if(NOT rel MATCHES "^(README\\.md|CHANGELOG\\.md|LICENSE|THIRD-PARTY-NOTICES\\.txt|bin/LumoGameSDK\\.dll|bin/${SYMBOLS}|bin/lumo-devhost\\.exe|include/LumoGameSDK\\.h|lib/libLumoGameSDK\\.dll\\.a|lib/LumoGameSDK\\.lib|lib/cmake/LumoGameSDK/[^/]+\\.cmake|docs/[^/]+\\.md|examples/sample_game/[^/]+|bindings/csharp/LumoGameSDK\\.(cs|csproj)|toolchains/mingw-w64-x86_64\\.cmake|tools/verify-server/(verify-server\\.sh|verify_server\\.py)|tools/hostcheck/(lumo-hostcheck\\.exe|LumoGameSDK\\.dll)|unity/com\\.lumo\\.gamesdk/.*|unreal/LumoGameSDK/.*)$")
    message(FATAL_ERROR "${top}.zip holds ${rel}, which is not part of the SDK")
  endif()
endforeach()

# The notices against the linker maps of the DLL and the tools that ship.
set(maps ${DLL_MAP})
if(EXPECT_DEVHOST)
  list(APPEND maps ${DEVHOST_MAP})
endif()
if(EXPECT_HOSTCHECK)
  list(APPEND maps ${HOSTCHECK_MAP})
endif()
lumo_run(${PYTHON} ${CMAKE_CURRENT_LIST_DIR}/check_package.py ${root} ${VERSION} ${maps})
message(STATUS "${lumo_run_output}")
# ... and refuses copies that lack a licence text or link in an unnamed piece.
lumo_run(${PYTHON} ${CMAKE_CURRENT_LIST_DIR}/legal_check_test.py ${CMAKE_CURRENT_LIST_DIR}/check_package.py ${root}
         ${VERSION} ${maps})
message(STATUS "${lumo_run_output}")
# The DLL and every copy of it, each with its symbols beside it.
foreach(dll bin unity/com.lumo.gamesdk/Plugins/x86_64 unreal/LumoGameSDK/Source/ThirdParty/LumoGameSDK/bin/Win64)
  lumo_run(${PYTHON} ${SOURCE_DIR}/scripts/check_symbols.py ${root}/${dll}/LumoGameSDK.dll)
  message(STATUS "${dll}: ${lumo_run_output}")
endforeach()
