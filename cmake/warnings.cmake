# Warnings for the project's own targets only.
function(munyaro_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(MUNYARO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
