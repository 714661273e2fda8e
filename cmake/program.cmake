# VELMO.exe without a C runtime: its own entry point (velmo/runtime/entry.cpp)
# and string functions (velmo/runtime/cstring.cpp), the system DLLs, and libgcc for
# the stack probe and 64-bit division. The i686 image asks for Windows 3.10,
# so that Win32s and Windows NT 3.51 load it, and keeps its relocations,
# which Win32s needs; x86_64 keeps what 64-bit Windows needs.
set_source_files_properties(velmo/runtime/cstring.cpp DIRECTORY ${CMAKE_SOURCE_DIR} PROPERTIES
  COMPILE_OPTIONS "${VELMO_CSTRING_OPTIONS}")
# libgcc last on the line, after every library that needs it
string(APPEND CMAKE_CXX_STANDARD_LIBRARIES " -lgcc")

function(velmo_program target)
  # Nothing to fix up at start-up: a data import that would need a
  # pseudo-relocation is a link error
  target_link_options(${target} PRIVATE -nostdlib -nostartfiles -Wl,--disable-auto-import,--disable-runtime-pseudo-reloc)
  target_link_libraries(${target} PRIVATE user32 gdi32 advapi32 kernel32)
  # Where each function of the image came from, for the instruction scan
  target_link_options(${target} PRIVATE -Wl,-Map=$<TARGET_FILE_DIR:${target}>/${target}.map)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(${target} PRIVATE -Wl,--subsystem,windows:3.10 -Wl,--major-os-version,3
                        -Wl,--minor-os-version,10 -Wl,--dynamicbase)
  endif()
endfunction()

velmo_program(VELMO)
# The start-up benchmark's floor: one empty window, built the same way
add_executable(velmobare WIN32 bench/bare.cpp velmo/runtime/cstring.cpp)
velmo_strict(velmobare)
velmo_program(velmobare)
