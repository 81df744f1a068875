# What `cmake --install` lays out for game developers, and the archive the
# `package` target makes of it:
#   README.md, CHANGELOG.md  what is inside and the five-minute start
#   LICENSE, THIRD-PARTY-NOTICES.txt  the SDK's licence, and the notices of
#             what is linked into the DLL and the tools (also in the Unity
#             package and the Unreal plugin)
#   include/  the public header
#   bin/      LumoGameSDK.dll (stripped), its symbols (LumoGameSDK.pdb from
#             the shipped Clang build; LumoGameSDK.dll.debug from GCC), lumo-devhost.exe
#   lib/      import libraries for MinGW (libLumoGameSDK.dll.a) and MSVC (LumoGameSDK.lib)
#   lib/cmake/LumoGameSDK/  the package config for find_package
#   docs/, examples/sample_game/  the guides and the sample's source
#   bindings/csharp/  the C# binding: one source file and its project file
#   unity/com.lumo.gamesdk/  a Unity package (binding, assembly definition, DLL
#             and its symbols, sample, README, CHANGELOG)
#   unreal/LumoGameSDK/  an Unreal plugin (module, Blueprint library, import
#             library, DLL and its symbols, icon)
#   tools/verify-server/  the local HTTPS verify server for development logins
#   tools/hostcheck/  lumo-hostcheck.exe with its own copy of the DLL, for
#             launcher developers
#   toolchains/  the MinGW-w64 cross toolchain file for CMake on Debian
include(CMakePackageConfigHelpers)

set(LUMO_INSTALL_BINDIR bin)
set(LUMO_INSTALL_LIBDIR lib)
set(LUMO_INSTALL_INCLUDEDIR include)
set(LUMO_INSTALL_CMAKEDIR lib/cmake/LumoGameSDK)

install(TARGETS LumoGameSDK
        RUNTIME DESTINATION ${LUMO_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${LUMO_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/LumoGameSDK.h DESTINATION ${LUMO_INSTALL_INCLUDEDIR})
if(TARGET lumo-devhost)
  lumo_add_version_resource(lumo-devhost DESCRIPTION "LumoGameSDK development host")
  # OPTIONAL: an install after building the DLL alone (README) still works.
  install(TARGETS lumo-devhost RUNTIME DESTINATION ${LUMO_INSTALL_BINDIR} OPTIONAL)
endif()
if(TARGET lumo-hostcheck)
  lumo_add_version_resource(lumo-hostcheck DESCRIPTION "LumoGameSDK launcher check")
  install(TARGETS lumo-hostcheck RUNTIME DESTINATION tools/hostcheck OPTIONAL)
  # The DLL it loads from its own folder, only beside a built check.
  install(CODE "if(EXISTS \"$<TARGET_FILE:lumo-hostcheck>\")
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/tools/hostcheck\" TYPE FILE FILES \"$<TARGET_FILE:LumoGameSDK>\")
  endif()")
endif()

# Made beside the DLL by lumo_ship_dll (cmake/LumoShipDll.cmake).
install(FILES ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/LumoGameSDK.lib DESTINATION ${LUMO_INSTALL_LIBDIR})
install(FILES ${LUMO_SHIP_SYMBOLS} DESTINATION ${LUMO_INSTALL_BINDIR})

set(LUMO_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package-config)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/LumoGameSDKConfig.cmake.in
  ${LUMO_PACKAGE_DIR}/LumoGameSDKConfig.cmake
  INSTALL_DESTINATION ${LUMO_INSTALL_CMAKEDIR}
  PATH_VARS LUMO_INSTALL_BINDIR LUMO_INSTALL_LIBDIR LUMO_INSTALL_INCLUDEDIR)
# The DLL is 64-bit only, so the version file also turns away 32-bit builds.
write_basic_package_version_file(${LUMO_PACKAGE_DIR}/LumoGameSDKConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES ${LUMO_PACKAGE_DIR}/LumoGameSDKConfig.cmake
              ${LUMO_PACKAGE_DIR}/LumoGameSDKConfigVersion.cmake
        DESTINATION ${LUMO_INSTALL_CMAKEDIR})

install(FILES ${PROJECT_SOURCE_DIR}/packaging/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
              ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt DESTINATION .)
# building.md and architecture.md are about the SDK's own source tree, which
# the package does not hold. windows-and-wine.md ships: its checks on Windows
# are what a game or launcher team runs with the package's tools.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION docs
        PATTERN building.md EXCLUDE PATTERN architecture.md EXCLUDE)
# The C# binding for .NET hosts, as source to drop into a project.
install(FILES ${PROJECT_SOURCE_DIR}/bindings/csharp/LumoGameSDK.cs ${PROJECT_SOURCE_DIR}/bindings/csharp/LumoGameSDK.csproj
        DESTINATION bindings/csharp)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/sample_game DESTINATION examples)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake DESTINATION toolchains)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/scripts/verify-server.sh
                 ${PROJECT_SOURCE_DIR}/tests/login/verify_server.py
        DESTINATION tools/verify-server)

# Unity: a package folder to add with the Package Manager ("Add package from
# disk"); every asset has its .meta, the DLL's limits it to Windows x64. The
# sample sits in Samples~, which Unity imports only on request.
get_filename_component(LUMO_SHIP_SYMBOLS_NAME ${LUMO_SHIP_SYMBOLS} NAME)
# The guides travel inside the Unity package (Documentation~, which Unity
# does not import); the Package Manager's documentation link is written only
# when a published address is configured.
set(LUMO_DOCUMENTATION_URL "" CACHE STRING
    "Published address of the SDK's documentation for the Unity package's link (empty: no link; the guides are in the package)")
# Build folders configured before 1.1 cached the placeholder that was the default then.
if(LUMO_DOCUMENTATION_URL MATCHES "^https://docs\\.lumo\\.invalid/")
  set_property(CACHE LUMO_DOCUMENTATION_URL PROPERTY VALUE "")
  set(LUMO_DOCUMENTATION_URL "")
endif()
set(LUMO_DOCUMENTATION_URL_ENTRY "")
if(LUMO_DOCUMENTATION_URL)
  if(NOT LUMO_DOCUMENTATION_URL MATCHES "^https?://[^ \"]+$")
    message(FATAL_ERROR "LUMO_DOCUMENTATION_URL must be an http(s) address: ${LUMO_DOCUMENTATION_URL}")
  endif()
  set(LUMO_DOCUMENTATION_URL_ENTRY "\"documentationUrl\": \"${LUMO_DOCUMENTATION_URL}\",")
endif()
set(unity_src ${PROJECT_SOURCE_DIR}/packaging/unity/com.lumo.gamesdk)
set(unity unity/com.lumo.gamesdk)
configure_file(${unity_src}/package.json.in ${CMAKE_BINARY_DIR}/packaging/unity/package.json @ONLY)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${unity}/Documentation~
        PATTERN building.md EXCLUDE PATTERN architecture.md EXCLUDE)
install(FILES ${CMAKE_BINARY_DIR}/packaging/unity/package.json ${unity_src}/package.json.meta
              ${unity_src}/README.md ${unity_src}/README.md.meta
              ${unity_src}/CHANGELOG.md ${unity_src}/CHANGELOG.md.meta
              ${unity_src}/Runtime.meta ${unity_src}/Plugins.meta
              ${unity_src}/LICENSE.md.meta "${unity_src}/Third Party Notices.md.meta"
        DESTINATION ${unity})
# The licence and the notices under the names Unity's package layout gives them.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${unity} RENAME LICENSE.md)
install(FILES ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt DESTINATION ${unity} RENAME "Third Party Notices.md")
install(DIRECTORY ${unity_src}/Samples~ DESTINATION ${unity})
install(FILES ${PROJECT_SOURCE_DIR}/bindings/csharp/LumoGameSDK.cs ${unity_src}/Runtime/LumoGameSDK.cs.meta
              ${unity_src}/Runtime/Lumo.GameSDK.asmdef ${unity_src}/Runtime/Lumo.GameSDK.asmdef.meta
        DESTINATION ${unity}/Runtime)
install(FILES ${unity_src}/Plugins/x86_64.meta DESTINATION ${unity}/Plugins)
install(FILES $<TARGET_FILE:LumoGameSDK> ${unity_src}/Plugins/x86_64/LumoGameSDK.dll.meta
              ${LUMO_SHIP_SYMBOLS} ${unity_src}/Plugins/x86_64/${LUMO_SHIP_SYMBOLS_NAME}.meta
        DESTINATION ${unity}/Plugins/x86_64)

# Unreal: a plugin folder to copy into the project's Plugins/.
set(unreal_src ${PROJECT_SOURCE_DIR}/packaging/unreal/LumoGameSDK)
set(unreal unreal/LumoGameSDK)
set(unreal_lib ${unreal}/Source/ThirdParty/LumoGameSDK)
configure_file(${unreal_src}/LumoGameSDK.uplugin.in ${CMAKE_BINARY_DIR}/packaging/unreal/LumoGameSDK.uplugin @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/unreal/LumoGameSDK.uplugin DESTINATION ${unreal})
install(DIRECTORY ${unreal_src}/Source/LumoGameSDK DESTINATION ${unreal}/Source)
install(FILES ${unreal_src}/Resources/Icon128.png DESTINATION ${unreal}/Resources)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES.txt DESTINATION ${unreal})
install(FILES ${PROJECT_SOURCE_DIR}/include/LumoGameSDK.h DESTINATION ${unreal_lib}/include)
install(FILES ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/LumoGameSDK.lib DESTINATION ${unreal_lib}/lib/Win64)
install(FILES $<TARGET_FILE:LumoGameSDK> ${LUMO_SHIP_SYMBOLS} DESTINATION ${unreal_lib}/bin/Win64)

# `cmake --build <build> --target package` writes LumoGameSDK-<version>-win64.zip.
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME LumoGameSDK)
set(CPACK_PACKAGE_VENDOR LumoGameSDK)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME LumoGameSDK-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_OUTPUT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackConfig.cmake)
include(CPack)
