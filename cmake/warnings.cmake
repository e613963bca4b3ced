# Warnings are errors on every compiler the project builds with.
# -Wnull-dereference is left out: GCC 12 reports false positives inside std::basic_string.
add_library(qlm_warnings INTERFACE)
target_compile_options(qlm_warnings INTERFACE
  -Wall -Wextra -Wpedantic
  -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wunused
  -Woverloaded-virtual -Wconversion -Wsign-conversion
  -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
# GCC and MinGW-w64 treat them as errors; the clang fuzz build only shows
# them, since clang warns about things the two product compilers accept.
if(NOT QLM_FUZZ)
  target_compile_options(qlm_warnings INTERFACE -Werror)
endif()
# GCC 12 at -O3 (the Release build of the packages) reports overlapping
# memcpy inside std::string's operator+ where none can happen (GCC bug
# 105651). The warning stays on and stays an error in the -O2 and debug
# builds that CI tests; only the optimiser's false alarm is not fatal.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(qlm_warnings INTERFACE $<$<CONFIG:Release>:-Wno-error=restrict>)
endif()
