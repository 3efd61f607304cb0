# Debian packages, split as a Debian packager would: the library (libtamberlyn1), the engine
# library (libtamberlyn-engine1), their development files (libtamberlyn-dev), the program
# (tamberlyn) and the Python package (python3-tamberlyn). `cpack` in a build configured with
# CMAKE_INSTALL_PREFIX=/usr (the `deb` preset) makes all five.
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
# The Python package, pure Python, where Debian's python3 finds it.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/tamberlyn
    DESTINATION lib/python3/dist-packages COMPONENT python
    PATTERN "__pycache__" EXCLUDE)
# Each package carries its own copyright file and changelog.
foreach(pair runtime:libtamberlyn1 engine:libtamberlyn-engine1 dev:libtamberlyn-dev
             program:tamberlyn python:python3-tamberlyn)
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
# The program's dependency on the engine comes from the component dependency below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/src)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_STRIP_FILES ON)
# Each library's shlibs entry, and the loader cache refreshed by trigger, not by maintainer
# script.
file(WRITE ${PROJECT_BINARY_DIR}/deb/triggers "activate-noawait ldconfig\n")
file(WRITE ${PROJECT_BINARY_DIR}/deb/runtime/shlibs
    "libtamberlyn ${PROJECT_VERSION_MAJOR} libtamberlyn1 (>= ${PROJECT_VERSION})\n")
file(WRITE ${PROJECT_BINARY_DIR}/deb/engine/shlibs
    "libtamberlyn-engine ${PROJECT_VERSION_MAJOR} libtamberlyn-engine1 (>= ${PROJECT_VERSION})\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${PROJECT_BINARY_DIR}/deb/runtime/shlibs ${PROJECT_BINARY_DIR}/deb/triggers)
set(CPACK_DEBIAN_ENGINE_PACKAGE_CONTROL_EXTRA
    ${PROJECT_BINARY_DIR}/deb/engine/shlibs ${PROJECT_BINARY_DIR}/deb/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_COMPONENTS_ALL runtime engine dev program python)
# CPack indents the lines after the first and turns an empty line into " .".
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "WAV recording and silence shortening library
TAMBERLYN records the audio input into WAV files (8000 Hz, 16-bit, mono, in
whole one-second blocks, the header finalised at stop) and shortens the long
silences of WAV files. It has a plain C interface of three functions.

This package holds the shared library.")
set(CPACK_COMPONENT_ENGINE_DESCRIPTION "pause shortening, WAV repair and recording engine library
The tamberlyn engine shortens the pauses of WAV files and streams, and of
FLAC, MP3, Ogg, Opus and M4A files through FFmpeg's libraries (with a
threshold taken from the recording's own background noise if asked),
tells pauses in samples held in memory, inspects and repairs unfinished WAV
files, and records the audio input with events, through a plain C interface.

This package holds the shared library.")
set(CPACK_COMPONENT_DEV_DESCRIPTION "WAV recording and silence shortening library - development files
TAMBERLYN records the audio input into WAV files and shortens the long
silences of WAV files, through a plain C interface of three functions; the
tamberlyn engine library offers all the engine can do.

This package holds the C headers, the CMake package and the pkg-config files.")
set(CPACK_COMPONENT_PYTHON_DESCRIPTION "pause shortening, WAV repair and recording for Python 3
The tamberlyn package shortens the pauses of WAV files, tells pauses in numpy
arrays of samples, inspects and repairs unfinished WAV files and records the
audio input, over the tamberlyn engine library.")
set(CPACK_COMPONENT_PROGRAM_DESCRIPTION "shorten silences in WAV files and record the audio input
tamberlyn shortens the long quiet stretches of WAV, FLAC, MP3 or M4A files, such as
the pauses of dictation (with a threshold taken from the file's own
background noise if asked), keeping every other chunk and never leaving a
half-written file; and records the default audio input into WAV files.")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtamberlyn1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libtamberlyn-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME tamberlyn)
set(CPACK_DEBIAN_ENGINE_PACKAGE_NAME libtamberlyn-engine1)
# FFmpeg's libraries are loaded only when a file of another type comes: recommended, not needed.
if(TAMBERLYN_FFMPEG)
    set(recommends "")
    foreach(library avformat avcodec avutil swresample)
        string(REGEX MATCH "^[0-9]+" major "${FFMPEG_lib${library}_VERSION}")
        list(APPEND recommends "lib${library}${major}")
    endforeach()
    list(JOIN recommends ", " recommends)
    set(CPACK_DEBIAN_ENGINE_PACKAGE_RECOMMENDS "${recommends}")
endif()
set(CPACK_DEBIAN_ENGINE_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-tamberlyn)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3:any")
set(CPACK_DEBIAN_PYTHON_PACKAGE_SUGGESTS "python3-numpy, python3-distributed")
# Byte-compiled when installed and cleaned before removal, as python3 packages are: a root
# user's import would otherwise leave caches that keep the folder after a purge.
foreach(script postinst prerm)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/python-${script}
        ${PROJECT_BINARY_DIR}/deb/python/${script} COPYONLY FILE_PERMISSIONS
        OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA
    ${PROJECT_BINARY_DIR}/deb/python/postinst ${PROJECT_BINARY_DIR}/deb/python/prerm)
set(CPACK_COMPONENT_DEV_DEPENDS runtime engine)
set(CPACK_COMPONENT_PROGRAM_DEPENDS engine)
set(CPACK_COMPONENT_PYTHON_DEPENDS engine)
include(CPack)
