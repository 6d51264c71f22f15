# Warnings for the project's own code; VX_WERROR makes them errors.
set(VX_WARNINGS -Wall -Wextra -Wshadow -Wcast-qual -Wold-style-cast -Wdouble-promotion)
if(VX_WERROR)
  list(APPEND VX_WARNINGS -Werror)
endif()

# C and C++ only: the resource compiler takes none of them.
function(vx_warnings target)
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:C,CXX>:${VX_WARNINGS}>")
endfunction()
