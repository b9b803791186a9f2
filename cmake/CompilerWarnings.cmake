# High warning level for every target of the project (third-party code is added without it).
function(netvane_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wformat=2 -Wconversion
                                           -Wno-sign-conversion -Wnon-virtual-dtor)
  if(NETVANE_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()
