# Warnings are errors in the project's presets and in CI (VFWU_WARNINGS_AS_ERRORS, on in every
# preset). A distribution or packager that builds with its own compiler and flags gets the
# warnings without failing on them: a new compiler's new warning must not break their build.
option(VFWU_WARNINGS_AS_ERRORS "Treat compiler warnings in the project's own code as errors" OFF)

function(vfwu_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
    if(VFWU_WARNINGS_AS_ERRORS)
      target_compile_options(${target} PRIVATE /WX)
    endif()
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(VFWU_WARNINGS_AS_ERRORS)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()
