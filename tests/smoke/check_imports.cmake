# Checks the load-time imports of Windows programs and DLLs (objdump -p), by one of two rules:
#   runtime  (the .exe and .dll files of DIR): none imports a MinGW runtime DLL, i.e. each
#            runs without libstdc++, libgcc or libwinpthread copied beside it;
#   system32 (the FILES given): each imports only KnownDLLs (which Windows maps from System32
#            whatever the folder) and ours; any other import is looked for beside the program
#            first, where a planted copy would run with the program's rights, so those DLLs
#            are delay-loaded instead (cmake/SystemDlls.cmake).
# Usage: cmake -DOBJDUMP=... -DRULE=runtime -DDIR=<folder> -P check_imports.cmake
#        cmake -DOBJDUMP=... -DRULE=system32 -DFILES="a.exe;b.dll" -P check_imports.cmake
cmake_policy(SET CMP0057 NEW)
set(allowed kernel32.dll advapi32.dll user32.dll gdi32.dll ws2_32.dll msvcrt.dll ole32.dll
            oleaut32.dll shell32.dll shlwapi.dll comdlg32.dll rpcrt4.dll sechost.dll
            combase.dll imm32.dll setupapi.dll psapi.dll normaliz.dll nsi.dll
            taviserver.dll taviclient.dll)
if(RULE STREQUAL "runtime")
  file(GLOB FILES ${DIR}/*.exe ${DIR}/*.dll)
  set(passed "none needs a runtime DLL")
elseif(RULE STREQUAL "system32")
  set(passed "no load-time import outside System32's KnownDLLs")
else()
  message(FATAL_ERROR "RULE must be runtime or system32, not '${RULE}'")
endif()
if(NOT FILES)
  message(FATAL_ERROR "no programs to check")
endif()
set(bad "")
foreach(program IN LISTS FILES)
  if(NOT EXISTS ${program})
    list(APPEND bad "${program}: not built")
    continue()
  endif()
  execute_process(COMMAND ${OBJDUMP} -p ${program} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    list(APPEND bad "${program}: objdump failed")
    continue()
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
  foreach(line IN LISTS imports)
    string(REPLACE "DLL Name: " "" name "${line}")
    string(STRIP "${name}" name)
    string(TOLOWER "${name}" lower)
    if(RULE STREQUAL "runtime" AND lower MATCHES "libstdc|libgcc|libwinpthread|libssp")
      list(APPEND bad "${program} needs ${name}")
    elseif(RULE STREQUAL "system32" AND NOT lower IN_LIST allowed)
      list(APPEND bad "${program} imports ${name} at load time")
    endif()
  endforeach()
endforeach()
if(bad)
  string(REPLACE ";" "\n" text "${bad}")
  message(FATAL_ERROR "${text}")
endif()
list(LENGTH FILES count)
message(STATUS "${count} programs, ${passed}")
