# Header-only dependencies from the build machine's packages, each exposed
# through a folder of its own that holds only that package's headers.
set(LUMO_SYSDEPS_DIR ${CMAKE_BINARY_DIR}/sysdeps)

# lumo_expose_headers(<target> <entry>...): each entry is a folder or a single
# header file directly under /usr/include.
function(lumo_expose_headers target)
  set(dir ${LUMO_SYSDEPS_DIR}/${target}/include)
  file(MAKE_DIRECTORY ${dir})
  foreach(entry IN LISTS ARGN)
    if(NOT EXISTS /usr/include/${entry})
      message(FATAL_ERROR "/usr/include/${entry} is missing: install the package that provides it")
    endif()
    file(CREATE_LINK /usr/include/${entry} ${dir}/${entry} SYMBOLIC)
  endforeach()
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE ${dir})
endfunction()

lumo_expose_headers(lumo_nlohmann_json nlohmann)

# Warnings for our own code.
add_library(lumo_warnings INTERFACE)
target_compile_options(lumo_warnings INTERFACE -Wall -Wextra)
