# The FFmpeg codec driver: a module of its own that the codec manager loads with dlopen only when
# compressed formats are needed. Built when pkg-config finds libavcodec, libavutil and libswresample;
# without them the codec manager offers PCM only.
option(QELP_WITH_FFMPEG "Build the FFmpeg codec driver module when its libraries are present" ON)

set(QELP_FFMPEG_MODULE_BUILT OFF)
if(QELP_WITH_FFMPEG AND PkgConfig_FOUND)
  pkg_check_modules(QELP_FFMPEG IMPORTED_TARGET libavcodec libavutil libswresample)
endif()

if(QELP_FFMPEG_FOUND)
  file(GLOB QELP_FFMPEG_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/msacm/ffmpeg/*.cpp)
  add_library(qelp_acm_ffmpeg MODULE ${QELP_FFMPEG_SOURCES})
  target_include_directories(qelp_acm_ffmpeg PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(qelp_acm_ffmpeg PRIVATE PkgConfig::QELP_FFMPEG)
  set_target_properties(qelp_acm_ffmpeg PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  # The manager looks next to the library that holds it, then here (tests link the core statically).
  target_compile_definitions(qelpsnd_core PRIVATE
    QELP_ACM_MODULE_BUILD_PATH="${CMAKE_BINARY_DIR}/lib/qelp_acm_ffmpeg.so")
  add_dependencies(qelpsnd_core qelp_acm_ffmpeg)
  install(TARGETS qelp_acm_ffmpeg LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  set(QELP_FFMPEG_MODULE_BUILT ON)
  message(STATUS "FFmpeg codec driver: built (${QELP_FFMPEG_libavcodec_VERSION})")
elseif(NOT QELP_WITH_FFMPEG)
  message(STATUS "FFmpeg codec driver: switched off (QELP_WITH_FFMPEG); PCM only")
else()
  message(STATUS "FFmpeg codec driver: not built (libavcodec, libavutil, libswresample not found); PCM only")
endif()
