# netvane_export_headers(target path...)
# The target's users (and the target itself) see only the named folders or files of the source
# tree, each under its usual path ("transport/core/crypto.h"): a folder of links in the build
# tree stands in for the repository root. A library that includes a header of a library it
# does not link fails to compile, so layering leaks show at once.
function(netvane_export_headers target)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  # Made afresh: a link left from an earlier layout would lead the folders below into the
  # source tree (REMOVE_RECURSE removes links, never what they point to).
  file(REMOVE_RECURSE ${root})
  foreach(path IN LISTS ARGN)
    get_filename_component(parent ${root}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${path} ${root}/${path} SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
