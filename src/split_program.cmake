# qlm on Linux: a small front and the engine module beside it.
#
# Starting a program that links Exiv2, TagLib, libpng, expat, zlib, {fmt} and
# libstdc++ costs most of its time in mapping and relocating them. The front
# answers --version, help and usage errors with its own copy of the command
# line code (header-only {fmt}, static libstdc++) and loads the engine,
# qlm_core behind one exported entry, only when a command runs; the engine
# then runs the whole command line exactly as a one-program qlm does.

# The engine's code goes into a shared object, so it is compiled as such.
set_target_properties(qlm_core PROPERTIES POSITION_INDEPENDENT_CODE ON)

add_library(qlm_engine MODULE cli/engine_main.cpp)
target_link_libraries(qlm_engine PRIVATE qlm_core qlm_warnings)
set_target_properties(qlm_engine PROPERTIES PREFIX "" OUTPUT_NAME qlm-engine
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
# Only the entry is exported: every other symbol binds inside the module at
# link time, which leaves the loader next to nothing to look up.
set(QLM_ENGINE_EXPORTS ${CMAKE_CURRENT_SOURCE_DIR}/cli/engine_exports.map)
target_link_options(qlm_engine PRIVATE -Wl,--version-script=${QLM_ENGINE_EXPORTS})
set_property(TARGET qlm_engine APPEND PROPERTY LINK_DEPENDS ${QLM_ENGINE_EXPORTS})
# A symbol nobody defines fails the link, not the first command run.
target_link_options(qlm_engine PRIVATE -Wl,-z,defs)
install(TARGETS qlm_engine LIBRARY DESTINATION lib/qlm)

add_executable(qlm
  cli/front_main.cpp
  cli/command_catalog.cpp
  cli/command_line_parser.cpp
  cli/help.cpp
  cli/option_checks.cpp
  cli/output.cpp
  cli/run_frame.cpp
  logging/plain_text_logger.cpp
  platform/win32_error.cpp
  platform/posix/shell/com_apartment.cpp
  platform/posix/text/console.cpp
  platform/posix/files/file_system.cpp
  platform/posix/processes/program_module.cpp
  platform/posix/text/text.cpp
)
target_include_directories(qlm PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_include_directories(qlm SYSTEM PRIVATE ${RAPIDJSON_INCLUDE_DIRS})
target_compile_definitions(qlm PRIVATE FMT_HEADER_ONLY RAPIDJSON_HAS_STDSTRING=1
  QLM_ENGINE_MODULE=L"$<TARGET_FILE_NAME:qlm_engine>")
# Whatever else those files come to need is taken from the engine's archive;
# --as-needed keeps the libraries the front never calls out of it.
target_link_libraries(qlm PRIVATE $<LINK_ONLY:qlm_core> ${CMAKE_DL_LIBS})
target_link_options(qlm PRIVATE -Wl,--as-needed)
# libstdc++ is the one shared library the front would still map; the part it
# uses is small. The engine keeps the shared one: nothing but main's
# arguments and the exit code crosses between the two.
target_link_options(qlm PRIVATE -static-libstdc++ -static-libgcc)
add_dependencies(qlm qlm_engine)
