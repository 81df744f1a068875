# Header-only dependencies from the build machine's packages, each exposed
# through a folder of its own that holds only that package's headers.
set(LUMO_SYSDEPS_DIR ${CMAKE_BINARY_DIR}/sysdeps)

function(lumo_expose_headers target header_dir)
  if(NOT EXISTS /usr/include/${header_dir})
    message(FATAL_ERROR "/usr/include/${header_dir} is missing: install the package that provides it")
  endif()
  set(dir ${LUMO_SYSDEPS_DIR}/${target}/include)
  file(MAKE_DIRECTORY ${dir})
  file(CREATE_LINK /usr/include/${header_dir} ${dir}/${header_dir} SYMBOLIC)
  add_library(${target} INTERFACE)
  target_include_directories(${target} SYSTEM INTERFACE ${dir})
endfunction()

lumo_expose_headers(lumo_nlohmann_json nlohmann)

# Warnings for our own code.
add_library(lumo_warnings INTERFACE)
target_compile_options(lumo_warnings INTERFACE -Wall -Wextra)
