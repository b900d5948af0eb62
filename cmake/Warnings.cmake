# znx_warnings(target): the project's warning set; errors in CI (ZNX_WERROR=ON).
function(znx_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${ZNX_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
      -Wnon-virtual-dtor -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough
      $<$<BOOL:${ZNX_WERROR}>:-Werror>)
  endif()
endfunction()
