# Version resources: every EXE and DLL shipped says product, company, description and the
# project's version (Explorer's Details page, `Get-Item X | % VersionInfo`, WDAC/AppLocker
# file rules, crash reports). The file version is PROJECT_VERSION padded to four parts.
set(NETVANE_COMPANY "Orvane" CACHE STRING "CompanyName of the version resources")

# netvane_version_resource(TARGET DESCRIPTION): adds a generated .rc to TARGET (which may be
# defined in another directory). Windows only.
function(netvane_version_resource target description)
  if(NOT WIN32 OR NOT TARGET ${target})
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(NV_FILE_TYPE VFT_DLL)
    set(NV_FILE_NAME ${target}.dll)
  else()
    set(NV_FILE_TYPE VFT_APP)
    set(NV_FILE_NAME ${target}.exe)
  endif()
  set(parts ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH}
            ${PROJECT_VERSION_TWEAK})
  set(numbers "")
  foreach(part IN LISTS parts)
    if(part STREQUAL "")
      set(part 0)
    endif()
    list(APPEND numbers ${part})
  endforeach()
  list(JOIN numbers "," NV_VERSION_COMMAS)
  list(JOIN numbers "." NV_VERSION_DOTS)
  set(NV_COMPANY ${NETVANE_COMPANY})
  set(NV_DESCRIPTION ${description})
  set(NV_INTERNAL_NAME ${target})
  set(rc ${CMAKE_BINARY_DIR}/version/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
