# Third-party libraries. On Linux they come from Debian's packages; the
# Windows cross build uses the header-only parts of the same packages and
# builds GoogleTest from Debian's source package.
if(NOT WIN32)
  find_package(fmt 9 REQUIRED)
  find_package(RapidJSON REQUIRED)
  add_library(qlm_third_party INTERFACE)
  target_link_libraries(qlm_third_party INTERFACE fmt::fmt)
  target_include_directories(qlm_third_party SYSTEM INTERFACE ${RAPIDJSON_INCLUDE_DIRS})
  # Exiv2 is the Linux image handler behind the property store; Windows uses
  # its own property handlers and the imaging component instead.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(EXIV2 REQUIRED IMPORTED_TARGET exiv2>=0.27)
  add_library(qlm_exiv2 INTERFACE)
  target_link_libraries(qlm_exiv2 INTERFACE PkgConfig::EXIV2)
  # TagLib is the Linux audio handler behind the property store.
  pkg_check_modules(TAGLIB REQUIRED IMPORTED_TARGET taglib>=1.11)
  add_library(qlm_taglib INTERFACE)
  target_link_libraries(qlm_taglib INTERFACE PkgConfig::TAGLIB)
else()
  # Expose only fmt/ and rapidjson/ from the host's include folder, never the
  # host's C library headers.
  set(QLM_HOST_HEADERS ${CMAKE_BINARY_DIR}/host_headers)
  file(MAKE_DIRECTORY ${QLM_HOST_HEADERS})
  foreach(lib fmt rapidjson)
    if(NOT EXISTS ${QLM_HOST_HEADERS}/${lib})
      file(CREATE_LINK /usr/include/${lib} ${QLM_HOST_HEADERS}/${lib} SYMBOLIC)
    endif()
  endforeach()
  add_library(qlm_third_party INTERFACE)
  target_include_directories(qlm_third_party SYSTEM INTERFACE ${QLM_HOST_HEADERS})
  target_compile_definitions(qlm_third_party INTERFACE FMT_HEADER_ONLY)
endif()
target_compile_definitions(qlm_third_party INTERFACE RAPIDJSON_HAS_STDSTRING=1)
