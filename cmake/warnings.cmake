# Every warning is an error; IEEE double arithmetic with no fused operations.
function(velmo_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wcast-qual -Wformat=2 -Werror
    -ffp-contract=off -fno-math-errno)
endfunction()

# The program's own code also goes without exceptions and RTTI.
function(velmo_strict target)
  velmo_warnings(${target})
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
endfunction()
