# What `cmake --install` lays out for game developers, and the archive the
# `package` target makes of it:
#   include/  the public header
#   bin/      LumoGameSDK.dll, lumo-devhost.exe
#   lib/      import libraries for MinGW (libLumoGameSDK.dll.a) and MSVC (LumoGameSDK.lib)
#   lib/cmake/LumoGameSDK/  the package config for find_package
#   docs/, examples/sample_game/  the guide and the sample's source
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

if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/docs)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION docs)
endif()
# The C# binding for Unity and other .NET hosts, as source to drop into a project.
install(FILES ${PROJECT_SOURCE_DIR}/bindings/csharp/LumoGameSDK.cs DESTINATION bindings/csharp)
if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/examples/sample_game)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/sample_game DESTINATION examples)
endif()

# `cmake --build <build> --target package` writes LumoGameSDK-<version>-win64.zip.
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME LumoGameSDK)
set(CPACK_PACKAGE_VENDOR LumoGameSDK)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME LumoGameSDK-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_OUTPUT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackConfig.cmake)
include(CPack)
