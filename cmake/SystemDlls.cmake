# System DLLs that are not KnownDLLs are delay-loaded by the programs and DLLs we ship:
# a normal import is resolved by the loader before any code runs, searching the program's
# folder first; a delay import is resolved at first call through the hook in
# transport/platform/system_dlls_delay_hook.cpp, which loads it from System32 only.
# GNU ld for PE has no --delayload: the delay import libraries are made with dlltool
# --output-delaylib from the export names of MinGW's own import libraries.

# Not KnownDLLs, imported by the agent, the transports or the console.
set(NETVANE_DELAYED_DLLS iphlpapi netapi32 bcrypt crypt32 dhcpcsvc)

if(WIN32)
  find_program(NETVANE_DLLTOOL NAMES x86_64-w64-mingw32-dlltool REQUIRED)
  find_program(NETVANE_NM NAMES x86_64-w64-mingw32-nm REQUIRED)
  set(NETVANE_DELAYLIB_DIR ${CMAKE_BINARY_DIR}/delaylib)
  file(MAKE_DIRECTORY ${NETVANE_DELAYLIB_DIR})
  foreach(dll IN LISTS NETVANE_DELAYED_DLLS)
    find_library(NETVANE_IMPLIB_${dll} NAMES ${dll} REQUIRED NO_CACHE)
    set(def ${NETVANE_DELAYLIB_DIR}/${dll}.def)
    # Named as the import library it stands for: a target that searches this folder first
    # gets the delay import for every -l${dll} of its link line, whoever put it there.
    set(lib ${NETVANE_DELAYLIB_DIR}/lib${dll}.a)
    if(NOT EXISTS ${lib} OR NETVANE_IMPLIB_${dll} IS_NEWER_THAN ${lib})
      execute_process(COMMAND ${NETVANE_NM} ${NETVANE_IMPLIB_${dll}} OUTPUT_VARIABLE symbols
                      COMMAND_ERROR_IS_FATAL ANY)
      string(REGEX MATCHALL "I __imp_[A-Za-z0-9_@]+" imports "${symbols}")
      list(REMOVE_DUPLICATES imports)
      set(text "LIBRARY ${dll}.dll\nEXPORTS\n")
      foreach(entry IN LISTS imports)
        string(REPLACE "I __imp_" "" name "${entry}")
        string(APPEND text "${name}\n")
      endforeach()
      file(WRITE ${def} "${text}")
      execute_process(COMMAND ${NETVANE_DLLTOOL} --input-def ${def} --dllname ${dll}.dll
                              --output-delaylib ${lib}
                      COMMAND_ERROR_IS_FATAL ANY)
    endif()
  endforeach()
endif()

# netvane_system32_imports(TARGET): the target's imports of NETVANE_DELAYED_DLLS become delay
# imports resolved from System32: its linker searches the delay libraries' folder before
# MinGW's, so the libraries its dependencies name (-liphlpapi ...) are the delayed ones.
function(netvane_system32_imports target)
  if(NOT WIN32)
    return()
  endif()
  # A source of the target itself, not an archive member: the helper's default hook in
  # libmingwex must not be the one the linker finds first.
  target_sources(${target} PRIVATE
                 ${PROJECT_SOURCE_DIR}/transport/platform/system_dlls_delay_hook.cpp)
  target_link_directories(${target} BEFORE PRIVATE ${NETVANE_DELAYLIB_DIR})
endfunction()
