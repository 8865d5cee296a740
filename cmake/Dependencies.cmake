# Every dependency is a Debian 12 package that scripts/setup.sh installs.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

pkg_check_modules(ACE REQUIRED IMPORTED_TARGET ACE)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
pkg_check_modules(FFTW3F REQUIRED IMPORTED_TARGET fftw3f)
pkg_check_modules(SOXR REQUIRED IMPORTED_TARGET soxr)
pkg_check_modules(SPANDSP REQUIRED IMPORTED_TARGET spandsp)
pkg_check_modules(ESPEAKNG REQUIRED IMPORTED_TARGET espeak-ng)
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
pkg_check_modules(PUGIXML REQUIRED IMPORTED_TARGET pugixml)
pkg_check_modules(FREEXL REQUIRED IMPORTED_TARGET freexl)
pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET libsodium)

find_path(SIMPLEINI_INCLUDE_DIR SimpleIni.h REQUIRED)
add_library(simpleini INTERFACE)
target_include_directories(simpleini SYSTEM INTERFACE ${SIMPLEINI_INCLUDE_DIR})
# Our ini files are 8-bit Windows-1251: SimpleIni keeps the bytes as they are
# and callers convert at the file boundary. The header holds the whole
# (template) implementation once SI_IMPLEMENTATION is set.
target_compile_definitions(simpleini INTERFACE SI_NO_CONVERSION SI_IMPLEMENTATION)

if(ORVEL_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(ORVEL_BUILD_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()
if(ORVEL_BUILD_CONSOLE)
  find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets PrintSupport Test)
endif()
