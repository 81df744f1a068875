# The SDK's one version number is the project version. The public header
# carries it as macros for games that have nothing but the header; this check
# keeps the two equal.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/LumoGameSDK.h LUMO_HEADER_VERSION_LINES
     REGEX "^#define LUMO_SDK_VERSION_(MAJOR|MINOR|PATCH|STRING) ")
set(LUMO_HEADER_VERSION_EXPECTED
    "#define LUMO_SDK_VERSION_MAJOR ${PROJECT_VERSION_MAJOR}"
    "#define LUMO_SDK_VERSION_MINOR ${PROJECT_VERSION_MINOR}"
    "#define LUMO_SDK_VERSION_PATCH ${PROJECT_VERSION_PATCH}"
    "#define LUMO_SDK_VERSION_STRING \"${PROJECT_VERSION}\"")
if(NOT LUMO_HEADER_VERSION_LINES STREQUAL LUMO_HEADER_VERSION_EXPECTED)
  list(JOIN LUMO_HEADER_VERSION_EXPECTED "\n  " expected)
  message(FATAL_ERROR "include/LumoGameSDK.h must carry the project version ${PROJECT_VERSION}, in these lines:\n  ${expected}")
endif()

# lumo_add_version_resource(<target> DESCRIPTION <text>)
# Gives a DLL or program the Windows version resource that Explorer shows
# under Properties > Details: version, product name and description.
function(lumo_add_version_resource target)
  cmake_parse_arguments(ARG "" "DESCRIPTION" "" ${ARGN})
  get_target_property(type ${target} TYPE)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  if(type STREQUAL "EXECUTABLE")
    set(LUMO_RC_FILETYPE VFT_APP)
    set(LUMO_RC_FILENAME ${name}.exe)
  else()
    set(LUMO_RC_FILETYPE VFT_DLL)
    set(LUMO_RC_FILENAME ${name}.dll)
  endif()
  set(LUMO_RC_INTERNAL_NAME ${name})
  set(LUMO_RC_DESCRIPTION ${ARG_DESCRIPTION})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/generated/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/src/sdk/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
