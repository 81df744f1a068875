# How the shipped DLL is finished after linking, for both compilers:
#   - debug info is always compiled in, then moved out of the DLL: GCC's
#     DWARF into <dll>.debug (found again through the DLL's .gnu_debuglink),
#     Clang's CodeView into <name>.pdb (named by the DLL's debug directory),
#     so the DLL that tests run and the package ships is the stripped one;
#   - a linker map beside the build (scripts/dll-size.sh reads it), and one
#     that names each linked object's archive (lumo_members_map below);
#   - the MSVC import library, made whenever the DLL is, so an install after
#     building the DLL alone is complete.
# lumo_ship_dll(<target> [<static library linked into it>...]) sets `LUMO_SHIP_SYMBOLS` (the symbol file's path)
# and `LUMO_SHIP_MAP` in the caller's scope.
function(lumo_ship_dll target)
  set(dir ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  target_link_options(${target} PRIVATE -Wl,-Map=${map})
  lumo_members_map(${target})

  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    set(symbols ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${target}.pdb)
    # CodeView for Windows debuggers; LLD writes the PDB and records its
    # GUID and age in the DLL's debug directory. The MinGW start-up objects
    # bring DWARF of their own, which LLD keeps: strip it and the symbol
    # table afterwards (the debug directory stays).
    find_program(LUMO_LLVM_OBJCOPY NAMES llvm-objcopy llvm-objcopy-16 llvm-objcopy-14 REQUIRED)
    foreach(t ${target} ${ARGN})
      target_compile_options(${t} PRIVATE -g -gcodeview)
    endforeach()
    # The debug directory names the PDB by its file name alone, as a
    # symbol server and a crash reporter look it up, not by this build's path.
    target_link_options(${target} PRIVATE -Wl,--pdb=${symbols} "-Wl,--Xlink=-pdbaltpath:%_PDB%")
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${LUMO_LLVM_OBJCOPY} --strip-all ${target}.dll
      WORKING_DIRECTORY ${dir}
      COMMENT "Stripping ${target}; its symbols are in ${target}.pdb"
      VERBATIM)
  else()
    set(symbols ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${target}.dll.debug)
    find_program(LUMO_OBJCOPY NAMES ${LUMO_MINGW_PREFIX}-objcopy x86_64-w64-mingw32-objcopy REQUIRED)
    foreach(t ${target} ${ARGN})
      target_compile_options(${t} PRIVATE -g)
    endforeach()
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${LUMO_OBJCOPY} --only-keep-debug ${target}.dll ${target}.dll.debug
      COMMAND ${LUMO_OBJCOPY} --strip-all --add-gnu-debuglink=${target}.dll.debug ${target}.dll
      WORKING_DIRECTORY ${dir}
      COMMENT "Moving the debug info of ${target} into a .debug file beside it"
      VERBATIM)
  endif()

  # MSVC links against a short-import library; llvm-dlltool makes one from the
  # same module-definition file that fixes the DLL's exports.
  find_program(LUMO_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${LUMO_DLLTOOL} -m i386:x86-64 -d ${PROJECT_SOURCE_DIR}/src/sdk/LumoGameSDK.def
            -l ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/${target}.lib
    COMMENT "Generating the MSVC import library ${target}.lib"
    VERBATIM)

  set(LUMO_SHIP_SYMBOLS ${symbols} PARENT_SCOPE)
  set(LUMO_SHIP_MAP ${map} PARENT_SCOPE)
endfunction()

# lumo_members_map(<target>): a linker map that names the archive of every
# object linked into the target, for the third-party notices check
# (scripts/check_notices.py); its path is the target's property
# LUMO_MEMBERS_MAP. LLD's own map (-Map) leaves archives out, its
# link.exe-style one names them; GNU ld's -Map names them too.
function(lumo_members_map target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.members.map)
    target_link_options(${target} PRIVATE "-Wl,--Xlink=-map:${map}")
  else()
    set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
    target_link_options(${target} PRIVATE -Wl,-Map=${map})
  endif()
  set_target_properties(${target} PROPERTIES LUMO_MEMBERS_MAP ${map})
endfunction()
