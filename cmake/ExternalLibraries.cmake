# The libraries Debian ships that echolink-node and its tests use, each found once here.
# SvxLink's Async libraries (the node's sound devices and audio pipeline) and its EchoLink
# library (the test-only reference station) come without CMake or pkg-config files and are
# found by hand; their headers live in /usr/include/svxlink and include each other without
# the folder name, and their warnings are not ours to fix. sigc++ and Speex have pkg-config
# files; GSM has neither.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SIGCXX REQUIRED IMPORTED_TARGET sigc++-2.0)
pkg_check_modules(SPEEX REQUIRED IMPORTED_TARGET speex)
find_path(GSM_INCLUDE_DIR gsm.h REQUIRED)
find_library(GSM_LIBRARY gsm REQUIRED)
add_library(external_gsm INTERFACE)
target_include_directories(external_gsm SYSTEM INTERFACE ${GSM_INCLUDE_DIR})
target_link_libraries(external_gsm INTERFACE ${GSM_LIBRARY})

find_path(SVXLINK_INCLUDE_DIR AsyncApplication.h PATH_SUFFIXES svxlink REQUIRED)
foreach(lib asynccore asynccpp asyncaudio echolib)
  find_library(SVXLINK_${lib}_LIBRARY ${lib} REQUIRED)
endforeach()
# Debian builds the audio library for 16 kHz inside; its headers need the rate defined.
# The library's headers pull in sigc++, whose names clash with Qt's keywords.
add_library(external_async INTERFACE)
target_include_directories(external_async SYSTEM INTERFACE ${SVXLINK_INCLUDE_DIR})
target_compile_definitions(external_async INTERFACE INTERNAL_SAMPLE_RATE=16000 QT_NO_KEYWORDS)
target_link_libraries(external_async INTERFACE ${SVXLINK_asyncaudio_LIBRARY} ${SVXLINK_asynccpp_LIBRARY}
                      ${SVXLINK_asynccore_LIBRARY} PkgConfig::SIGCXX)
add_library(external_echolib INTERFACE)
target_link_libraries(external_echolib INTERFACE ${SVXLINK_echolib_LIBRARY} external_async)
