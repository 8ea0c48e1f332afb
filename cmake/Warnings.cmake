# Warnings for our own targets only; third-party headers come in as SYSTEM.
function(tessellon_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
endfunction()
