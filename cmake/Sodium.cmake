# libsodium as the imported target `sodium`: natively the system's libsodium-dev through
# pkg-config; for MinGW the static build that scripts/bootstrap makes outside the source tree
# (scripts/build-sodium-mingw), linked into the DLLs so that nothing else has to travel.
if(WIN32)
  set(NETVANE_SODIUM_MINGW_DIR "/opt/netvane-deps/libsodium-mingw" CACHE PATH
      "Static libsodium built for MinGW by scripts/bootstrap")
  set(_sodium_lib "${NETVANE_SODIUM_MINGW_DIR}/lib/libsodium.a")
  if(NOT EXISTS "${_sodium_lib}" OR NOT EXISTS "${NETVANE_SODIUM_MINGW_DIR}/include/sodium.h")
    message(FATAL_ERROR "No static libsodium for MinGW in ${NETVANE_SODIUM_MINGW_DIR}: "
                        "run scripts/bootstrap (or set NETVANE_SODIUM_MINGW_DIR)")
  endif()
  add_library(sodium STATIC IMPORTED GLOBAL)
  # SODIUM_STATIC drops the dllimport decorations; libsodium's Windows random source is
  # RtlGenRandom, exported by advapi32.
  set_target_properties(sodium PROPERTIES
    IMPORTED_LOCATION "${_sodium_lib}"
    INTERFACE_INCLUDE_DIRECTORIES "${NETVANE_SODIUM_MINGW_DIR}/include"
    INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC
    INTERFACE_LINK_LIBRARIES advapi32)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET GLOBAL libsodium)
  add_library(sodium ALIAS PkgConfig::SODIUM)
endif()
