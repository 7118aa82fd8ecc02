# Warnings every target of ours builds with.
function(murvex_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wno-unused-parameter)
endfunction()
