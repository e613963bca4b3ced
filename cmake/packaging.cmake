# What `cpack` packs: on Linux a Debian package with qlm, sortwell-batch and
# Content/ under /usr/lib/qlm (/usr/bin links there, so the programs still
# find Content/ beside their real files), the shell completions, the manual
# pages, the copyright and the changelog;
# on Windows a zip with qlm.exe, Content\ and the README.
set(CPACK_PACKAGE_NAME qlm)
set(CPACK_PACKAGE_VENDOR Verandel)
set(CPACK_PACKAGE_CONTACT "Verandel <packages@verandel.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Quillmark from the command line: tags, ratings, comments and people of files")
set(CPACK_STRIP_FILES ON)
# cpack packs what is built and never starts a build of its own: the package
# test runs it beside other tests of the same build folder.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# The job-file host comes with the engine's actions; it is packed when this
# tree builds it, wherever its target is defined (hence at the end).
function(qlm_install_programs destination)
  set(programs qlm)
  foreach(host sortwell-batch sortwell_batch)
    if(TARGET ${host})
      list(APPEND programs ${host})
    endif()
  endforeach()
  install(TARGETS ${programs} RUNTIME DESTINATION ${destination})
  # What scripts/package builds: the packed files and nothing else.
  add_custom_target(qlm_package_contents)
  add_dependencies(qlm_package_contents ${programs})
  foreach(packed qlm_docs qlm_ai_launcher)
    if(TARGET ${packed})
      add_dependencies(qlm_package_contents ${packed})
    endif()
  endforeach()
endfunction()

if(WIN32)
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL qlm_install_programs .)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/content/ DESTINATION Content PATTERN .keep EXCLUDE)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME qlm-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL qlm_install_programs lib/qlm)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/content/ DESTINATION lib/qlm/Content PATTERN .keep EXCLUDE)
  # Relative links, so that the package also works unpacked under another root.
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
  foreach(program qlm sortwell-batch)
    file(CREATE_LINK ../lib/qlm/${program} ${CMAKE_BINARY_DIR}/packaging/${program} SYMBOLIC)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${program} DESTINATION bin)
    install(FILES ${CMAKE_BINARY_DIR}/docs/${program}.bash DESTINATION share/bash-completion/completions
            RENAME ${program})
    install(FILES ${CMAKE_BINARY_DIR}/docs/_${program} DESTINATION share/zsh/vendor-completions)
    install(FILES ${CMAKE_BINARY_DIR}/docs/${program}.fish DESTINATION share/fish/vendor_completions.d)
    install(FILES ${CMAKE_BINARY_DIR}/docs/${program}.1.gz DESTINATION share/man/man1)
  endforeach()
  # The local AI service: its launcher beside qlm and its folder with the
  # packages npm installed, less what only browsers, bundlers and the
  # service's own tests use, and less the models it does not run.
  if(TARGET qlm_ai_launcher)
    set(ai_service ${CMAKE_SOURCE_DIR}/services/ai_service)
    install(TARGETS qlm_ai_launcher RUNTIME DESTINATION lib/qlm)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "nodejs (>= 18)")
    install(DIRECTORY ${ai_service}/ DESTINATION lib/qlm/ai_service
            PATTERN test EXCLUDE PATTERN scripts EXCLUDE PATTERN node_modules EXCLUDE)
  endif()
  if(TARGET qlm_ai_launcher AND EXISTS ${CMAKE_SOURCE_DIR}/services/ai_service/node_modules/@vladmandic/human/models)
    file(GLOB human_models RELATIVE ${ai_service}/node_modules/@vladmandic/human/models
         ${ai_service}/node_modules/@vladmandic/human/models/*)
    list(FILTER human_models EXCLUDE REGEX "^(blazeface|faceres|centernet)\\.(json|bin)$")
    list(TRANSFORM human_models PREPEND "/human/models/")
    list(TRANSFORM human_models REPLACE "\\." "\\\\.")
    list(TRANSFORM human_models APPEND "$")
    list(JOIN human_models "|" unused_models)
    install(DIRECTORY ${ai_service}/node_modules DESTINATION lib/qlm/ai_service
            REGEX "\\.(map|ts|md)$" EXCLUDE
            REGEX "/human/(demo|src|assets|tfjs|types|dist/(human|tfjs)\\.(esm|js|node\\.js|node-gpu))" EXCLUDE
            REGEX "(${unused_models})" EXCLUDE
            REGEX "/dist/miniprogram$" EXCLUDE
            # TensorFlow.js runs from its Node.js bundles; the module trees are for bundlers.
            REGEX "/@tensorflow/[^/]+/(src|wasm-out|scripts|dist/[^/.]+)$" EXCLUDE
            REGEX "/@tensorflow/[^/]+/dist/[^/]+/" EXCLUDE
            REGEX "/@tensorflow/[^/]+/dist/[^/]*[^e]\\.js$" EXCLUDE
            REGEX "\\.(es2017|fesm|min)\\.(min\\.)?js$" EXCLUDE
            REGEX "/\\.[^/]+$" EXCLUDE)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides DESTINATION share/lintian/overrides RENAME qlm)
  endif()
  # A native package: its changelog is the project's own, compressed as
  # Debian keeps it (-n: no time stamp, so the package builds the same twice).
  execute_process(COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/packaging/changelog
                  OUTPUT_FILE ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
          DESTINATION share/doc/qlm)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The long description; cpack puts the summary above it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "qlm reads and changes the tags, star rating, comment and people of files
and folders, in embedded XMP, EXIF and IPTC, extended attributes, XMP
sidecars and desktop.ini. sortwell-batch runs the suite's batch job files.")
  # The dependencies are those of the libraries the programs link, read by dpkg-shlibdeps.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Compress on every core: the AI service's packages make the archive big.
  set(CPACK_THREADS 0)
endif()
include(CPack)
