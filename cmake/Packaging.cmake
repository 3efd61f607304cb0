# Debian packages, split as a Debian packager would: the library (libtamberlyn1), its
# development files (libtamberlyn-dev) and the program (tamberlyn). `cpack` in a build
# configured with CMAKE_INSTALL_PREFIX=/usr (the `deb` preset) makes all three.
include(GNUInstallDirs)

# The manual page and the changelog, compressed as Debian ships them.
configure_file(${PROJECT_SOURCE_DIR}/doc/tamberlyn.1.in ${PROJECT_BINARY_DIR}/doc/tamberlyn.1 @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/doc/tamberlyn.1.gz
    COMMAND gzip -9nc ${PROJECT_BINARY_DIR}/doc/tamberlyn.1 > ${PROJECT_BINARY_DIR}/doc/tamberlyn.1.gz
    DEPENDS ${PROJECT_BINARY_DIR}/doc/tamberlyn.1 VERBATIM)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/doc/changelog.gz
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/doc/changelog > ${PROJECT_BINARY_DIR}/doc/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/doc/changelog VERBATIM)
add_custom_target(tamberlyn_docs ALL DEPENDS ${PROJECT_BINARY_DIR}/doc/tamberlyn.1.gz
                                             ${PROJECT_BINARY_DIR}/doc/changelog.gz)

if(TARGET tamberlyn_cli)
    install(FILES ${PROJECT_BINARY_DIR}/doc/tamberlyn.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT program)
    install(FILES ${PROJECT_SOURCE_DIR}/tools/tamberlyn.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tamberlyn
        COMPONENT program)
endif()
# Each package carries its own copyright file and changelog.
foreach(pair runtime:libtamberlyn1 dev:libtamberlyn-dev program:tamberlyn)
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 component)
    list(GET pair 1 package)
    install(FILES ${PROJECT_SOURCE_DIR}/doc/copyright ${PROJECT_BINARY_DIR}/doc/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tamberlyn)
set(CPACK_PACKAGE_VENDOR "TAMBERLYN developers")
set(CPACK_PACKAGE_CONTACT "TAMBERLYN developers <tamberlyn@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The program's dependency on the library comes from the component dependency below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/src)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_STRIP_FILES ON)
# The library's shlibs entry, and the loader cache refreshed by trigger, not by maintainer script.
file(WRITE ${PROJECT_BINARY_DIR}/deb/shlibs
    "libtamberlyn ${PROJECT_VERSION_MAJOR} libtamberlyn1 (>= ${PROJECT_VERSION})\n")
file(WRITE ${PROJECT_BINARY_DIR}/deb/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${PROJECT_BINARY_DIR}/deb/shlibs ${PROJECT_BINARY_DIR}/deb/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_COMPONENTS_ALL runtime dev program)
# CPack indents the lines after the first and turns an empty line into " .".
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "WAV recording and silence shortening library
TAMBERLYN records the audio input into WAV files (8000 Hz, 16-bit, mono, in
whole one-second blocks, the header finalised at stop) and shortens the long
silences of WAV files. It has a plain C interface of three functions.

This package holds the shared library.")
set(CPACK_COMPONENT_DEV_DESCRIPTION "WAV recording and silence shortening library - development files
TAMBERLYN records the audio input into WAV files and shortens the long
silences of WAV files, through a plain C interface of three functions.

This package holds the C header, the CMake package and the pkg-config file.")
set(CPACK_COMPONENT_PROGRAM_DESCRIPTION "shorten silences in WAV files and record the audio input
tamberlyn shortens the long quiet stretches of 16-bit PCM WAV files, such as
the pauses of dictation (with a threshold taken from the file's own
background noise if asked), keeping every other chunk and never leaving a
half-written file; and records the default audio input into WAV files.")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtamberlyn1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libtamberlyn-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME tamberlyn)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_COMPONENT_PROGRAM_DEPENDS runtime)
include(CPack)
