# The ALSA back end of the wave output device, built when pkg-config finds ALSA. Without it the
# null device is the only one.
if(PKG_CONFIG_FOUND)
  pkg_check_modules(QELP_ALSA IMPORTED_TARGET alsa)
endif()
if(QELP_ALSA_FOUND)
  target_sources(qelpsnd_core PRIVATE ${CMAKE_SOURCE_DIR}/platform/winmm/alsa/alsa_backend.cpp)
  target_compile_definitions(qelpsnd_core PRIVATE QELP_HAVE_ALSA=1)
  target_link_libraries(qelpsnd_core PUBLIC PkgConfig::QELP_ALSA)
  message(STATUS "Wave output: ALSA ${QELP_ALSA_VERSION} and the null device")
else()
  message(STATUS "Wave output: the null device only (ALSA not found)")
endif()
