# GoogleTest for both builds: Debian's packaged library natively, and the same sources
# (/usr/src/googletest) compiled with the MinGW toolchain for the Windows build.
if(CMAKE_CROSSCOMPILING)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gmock ALIAS gmock)
  endif()
else()
  find_package(GTest REQUIRED)
endif()

# Wine prefixes of the Windows build (see scripts/wine-prefix): the tests run by CTest share
# NETVANE_WINE_PREFIX; a test that needs fresh hosts makes NETVANE_WINE_TEMPLATE once
# (`wine-prefix template`) and clones it per host (`wine-prefix clone`).
set(NETVANE_WINE_PREFIX_TOOL ${PROJECT_SOURCE_DIR}/scripts/wine-prefix)
set(NETVANE_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(NETVANE_WINE_TEMPLATE ${CMAKE_BINARY_DIR}/wine-template)

# netvane_add_test(NAME name SOURCES ... [LIBS ...] [LABELS ...])
# One test executable, registered as one CTest test (under Wine on the Windows build).
function(netvane_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  # Tests reach across the parts they check (shared samples, several libraries' headers).
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
  netvane_target_defaults(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(labels unit ${T_LABELS})
  if(CMAKE_CROSSCOMPILING)
    list(APPEND labels wine)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${labels}" TIMEOUT ${T_TIMEOUT})
endfunction()

# netvane_add_fuzzer(NAME name SOURCES ... [LIBS ...])
# A libFuzzer target, built only in the `fuzz` preset (clang). scripts/test runs each one
# briefly over its seed corpus in tests/<area>/corpus/<name>/.
# Every fuzzer is listed in <build>/fuzzers.txt ("name folder" per line) and belongs to the
# target `fuzzers`, so the script builds and finds exactly these.
option(NETVANE_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
if(NETVANE_FUZZ)
  # Coverage instrumentation for every library a fuzzer links, not only the fuzzer itself.
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_custom_target(fuzzers)
  file(WRITE ${CMAKE_BINARY_DIR}/fuzzers.txt "")
endif()
function(netvane_add_fuzzer)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT NETVANE_FUZZ)
    return()
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  add_dependencies(fuzzers ${F_NAME})
  file(APPEND ${CMAKE_BINARY_DIR}/fuzzers.txt "${F_NAME} ${CMAKE_CURRENT_SOURCE_DIR}\n")
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
endfunction()
