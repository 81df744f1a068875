cmake_minimum_required(VERSION 3.20)
# Helpers for the package test scripts (run with cmake -P).

# lumo_run(<command...>): runs the command; stops the test with its output on
# failure. Its output is left in `lumo_run_output`.
function(lumo_run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "failed (${rc}): ${command}\n${out}")
  endif()
  set(lumo_run_output "${out}" PARENT_SCOPE)
endfunction()

# The SDK's files relative to its root. SYMBOLS names the DLL's symbol file
# (LumoGameSDK.dll.debug or LumoGameSDK.pdb).
set(LUMO_SDK_FILES
    README.md
    CHANGELOG.md
    LICENSE
    THIRD-PARTY-NOTICES.txt
    include/LumoGameSDK.h
    bin/LumoGameSDK.dll
    bin/${SYMBOLS}
    lib/libLumoGameSDK.dll.a
    lib/LumoGameSDK.lib
    lib/cmake/LumoGameSDK/LumoGameSDKConfig.cmake
    lib/cmake/LumoGameSDK/LumoGameSDKConfigVersion.cmake
    docs/README.md
    docs/integration-guide.md
    docs/troubleshooting.md
    docs/host-contract.md
    docs/development-host.md
    examples/sample_game/CMakeLists.txt
    examples/sample_game/main.cpp
    bindings/csharp/LumoGameSDK.cs
    bindings/csharp/LumoGameSDK.csproj
    toolchains/mingw-w64-x86_64.cmake
    tools/verify-server/verify-server.sh
    tools/verify-server/verify_server.py
    unity/com.lumo.gamesdk/package.json
    unity/com.lumo.gamesdk/Runtime/LumoGameSDK.cs
    unity/com.lumo.gamesdk/Runtime/Lumo.GameSDK.asmdef
    unity/com.lumo.gamesdk/Plugins/x86_64/LumoGameSDK.dll
    unity/com.lumo.gamesdk/Plugins/x86_64/LumoGameSDK.dll.meta
    unity/com.lumo.gamesdk/Plugins/x86_64/${SYMBOLS}
    unity/com.lumo.gamesdk/README.md
    unity/com.lumo.gamesdk/CHANGELOG.md
    unity/com.lumo.gamesdk/LICENSE.md
    "unity/com.lumo.gamesdk/Third Party Notices.md"
    unreal/LumoGameSDK/LumoGameSDK.uplugin
    unreal/LumoGameSDK/Source/LumoGameSDK/LumoGameSDK.Build.cs
    unreal/LumoGameSDK/Source/ThirdParty/LumoGameSDK/include/LumoGameSDK.h
    unreal/LumoGameSDK/Source/ThirdParty/LumoGameSDK/lib/Win64/LumoGameSDK.lib
    unreal/LumoGameSDK/Source/ThirdParty/LumoGameSDK/bin/Win64/LumoGameSDK.dll
    unreal/LumoGameSDK/Source/ThirdParty/LumoGameSDK/bin/Win64/${SYMBOLS}
    unreal/LumoGameSDK/Resources/Icon128.png
    unreal/LumoGameSDK/LICENSE
    unreal/LumoGameSDK/THIRD-PARTY-NOTICES.txt)
if(EXPECT_DEVHOST)
  list(APPEND LUMO_SDK_FILES bin/lumo-devhost.exe)
endif()
if(EXPECT_HOSTCHECK)
  list(APPEND LUMO_SDK_FILES tools/hostcheck/lumo-hostcheck.exe tools/hostcheck/LumoGameSDK.dll docs/hostcheck.md)
endif()

# lumo_check_sdk_files(<root>): every file above is there.
function(lumo_check_sdk_files root)
  foreach(f IN LISTS LUMO_SDK_FILES)
    if(NOT EXISTS "${root}/${f}")
      message(FATAL_ERROR "the SDK in ${root} lacks ${f}")
    endif()
  endforeach()
endfunction()
