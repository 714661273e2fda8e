# Every warning is an error; IEEE double arithmetic with no fused operations.
set(VELMO_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wcast-qual -Wformat=2 -Werror
    -ffp-contract=off -fno-math-errno)

function(velmo_warnings target)
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${VELMO_WARNINGS}>")
endfunction()

# The program's own code also goes without exceptions and RTTI.
function(velmo_strict target)
  velmo_warnings(${target})
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions;-fno-rtti>")
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    # Nothing to unwind: no DWARF unwind tables in the 32-bit code. It runs
    # on an 80386 with a 387 and up: no later instructions, doubles on the
    # x87 at 53-bit precision (velmo/runtime/fpu.cpp, velmo/num/arith.cpp).
    # The test programs keep the compiler's default, as GoogleTest needs.
    target_compile_options(${target} PRIVATE
      "$<$<COMPILE_LANGUAGE:CXX>:-fno-asynchronous-unwind-tables;-march=i386;-mfpmath=387>")
  endif()
endfunction()
