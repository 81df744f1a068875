# Makes the release archive with CPack and checks its name and contents.
#   cmake -DBUILD_DIR= -DWORK_DIR= -DVERSION= [-DEXPECT_DEVHOST=ON] [-DEXPECT_SAMPLE=ON]
#         [-DEXPECT_DOCS=ON] -P archive_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/package_test_lib.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
lumo_run(${CMAKE_CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR})
set(top LumoGameSDK-${VERSION}-win64)
set(zip ${WORK_DIR}/${top}.zip)
if(NOT EXISTS ${zip})
  message(FATAL_ERROR "cpack did not write ${zip}:\n${lumo_run_output}")
endif()

lumo_run(${CMAKE_COMMAND} -E tar tf ${zip})
string(REPLACE "\n" ";" entries "${lumo_run_output}")
if(EXPECT_DOCS)
  list(APPEND LUMO_SDK_FILES docs)
endif()
list(APPEND LUMO_SDK_FILES bindings/csharp/LumoGameSDK.cs)
foreach(f ${LUMO_SDK_FILES})
  if(NOT ${top}/${f} IN_LIST entries AND NOT ${top}/${f}/ IN_LIST entries)
    message(FATAL_ERROR "${top}.zip lacks ${top}/${f}; it holds:\n${lumo_run_output}")
  endif()
endforeach()
# Nothing else of the build (test programs, static libraries) may reach
# what game developers receive.
foreach(e ${entries})
  string(REGEX REPLACE "^${top}/?" "" rel "${e}")
  if(NOT rel MATCHES "^(|bin/|bin/LumoGameSDK\\.dll|bin/lumo-devhost\\.exe|include/|include/LumoGameSDK\\.h|lib/|lib/libLumoGameSDK\\.dll\\.a|lib/LumoGameSDK\\.lib|lib/cmake/.*|docs/.*|examples/.*|bindings/|bindings/csharp/|bindings/csharp/LumoGameSDK\\.cs)$")
    message(FATAL_ERROR "${top}.zip holds ${e}, which is not part of the SDK")
  endif()
endforeach()
