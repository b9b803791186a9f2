# Fails when a Windows program imports a MinGW runtime DLL, i.e. when it would not run
# without libstdc++, libgcc or libwinpthread copied beside it.
# Usage: cmake -DOBJDUMP=... -DPROGRAM=... -P check_imports.cmake
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${PROGRAM}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
if(NOT imports)
  message(FATAL_ERROR "no import table found in ${PROGRAM}")
endif()
foreach(line IN LISTS imports)
  string(TOLOWER "${line}" lower)
  if(lower MATCHES "libstdc|libgcc|libwinpthread|libssp")
    message(FATAL_ERROR "${PROGRAM} needs a runtime DLL: ${line}")
  endif()
endforeach()
message(STATUS "${PROGRAM}: ${imports}")
