# Warnings for the project's own targets only.
function(munyaro_warnings target)
  # -Wno-restrict: GCC 12 reports false overlaps in std::string concatenation at -O3 (GCC bug 105651).
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
  if(MUNYARO_SANITIZE)
    # Sanitizer instrumentation makes GCC's flow analysis report uninitialised use inside std::regex.
    target_compile_options(${target} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wno-maybe-uninitialized>)
  endif()
  if(MUNYARO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
