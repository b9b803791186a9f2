# Fails when one of the given programs or DLLs imports, at load time, a DLL that is neither
# a KnownDLL (which Windows maps from System32 whatever the folder) nor one of ours: such an
# import is looked for beside the program first, where a planted copy would run with the
# program's rights. Those DLLs are delay-loaded instead (cmake/SystemDlls.cmake).
# Usage: cmake -DOBJDUMP=... -DFILES="a.exe;b.dll" -P check_system32_imports.cmake
cmake_policy(SET CMP0057 NEW)
set(allowed kernel32.dll advapi32.dll user32.dll gdi32.dll ws2_32.dll msvcrt.dll ole32.dll
            oleaut32.dll shell32.dll shlwapi.dll comdlg32.dll rpcrt4.dll sechost.dll
            combase.dll imm32.dll setupapi.dll psapi.dll normaliz.dll nsi.dll
            taviserver.dll taviclient.dll)
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
    if(NOT lower IN_LIST allowed)
      list(APPEND bad "${program} imports ${name} at load time")
    endif()
  endforeach()
endforeach()
if(bad)
  string(REPLACE ";" "\n" text "${bad}")
  message(FATAL_ERROR "${text}")
endif()
message(STATUS "no load-time import outside System32's KnownDLLs")
