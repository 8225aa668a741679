# The demuxing module: container files (Matroska, MP4/MOV, MPEG-PS/TS, AVI) through libavformat, in a
# module of its own that the engine loads with dlopen only for such files, so that a raw AC-3
# conversion never loads FFmpeg. Built when pkg-config finds libavformat, libavcodec and libavutil.
option(QELP_WITH_DEMUX "Build the container demuxing module when libavformat is present" ON)

set(QELP_DEMUX_MODULE_BUILT OFF)
if(QELP_WITH_DEMUX AND PkgConfig_FOUND)
  pkg_check_modules(QELP_AVFORMAT IMPORTED_TARGET libavformat libavcodec libavutil)
endif()

if(QELP_AVFORMAT_FOUND)
  file(GLOB QELP_DEMUX_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/demux/ffmpeg/*.cpp)
  add_library(qelp_demux_ffmpeg MODULE ${QELP_DEMUX_SOURCES})
  target_include_directories(qelp_demux_ffmpeg PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(qelp_demux_ffmpeg PRIVATE PkgConfig::QELP_AVFORMAT)
  set_target_properties(qelp_demux_ffmpeg PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  # The engine looks next to the library that holds it, then here (tests link the core statically).
  target_compile_definitions(qelpsnd_core PRIVATE
    QELP_DEMUX_MODULE_BUILD_PATH="${CMAKE_BINARY_DIR}/lib/qelp_demux_ffmpeg.so")
  add_dependencies(qelpsnd_core qelp_demux_ffmpeg)
  install(TARGETS qelp_demux_ffmpeg LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  set(QELP_DEMUX_MODULE_BUILT ON)
  message(STATUS "Demuxing module: built (libavformat ${QELP_AVFORMAT_libavformat_VERSION})")
elseif(NOT QELP_WITH_DEMUX)
  message(STATUS "Demuxing module: switched off (QELP_WITH_DEMUX); raw AC-3 and IEC 61937 WAVE only")
else()
  message(STATUS "Demuxing module: not built (libavformat not found); raw AC-3 and IEC 61937 WAVE only")
endif()
