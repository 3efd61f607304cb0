# The Windows developer's kit, a ZIP made by `cpack` in the `windows` build: TAMBERLYN.dll and
# tamberlyn.exe (bin), tamberlyn.h (include), TAMBERLYN.def with import libraries for MinGW
# (libTAMBERLYN.dll.a) and for MSVC (TAMBERLYN.lib, made from the .def by llvm-dlltool) (lib),
# the README and the copyright note.
find_program(LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
set(msvc_import ${PROJECT_BINARY_DIR}/src/TAMBERLYN.lib)
add_custom_command(OUTPUT ${msvc_import}
    COMMAND ${LLVM_DLLTOOL} -m i386:x86-64 -D TAMBERLYN.dll
            -d ${PROJECT_SOURCE_DIR}/src/boundary/tamberlyn.def -l ${msvc_import}
    DEPENDS ${PROJECT_SOURCE_DIR}/src/boundary/tamberlyn.def VERBATIM)
add_custom_target(tamberlyn_msvc_import ALL DEPENDS ${msvc_import})

install(FILES ${PROJECT_SOURCE_DIR}/src/boundary/tamberlyn.def RENAME TAMBERLYN.def
    DESTINATION lib COMPONENT dev)
install(FILES ${msvc_import} DESTINATION lib COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/doc/copyright
    DESTINATION . COMPONENT runtime)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME tamberlyn)
set(CPACK_PACKAGE_VENDOR "TAMBERLYN developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME tamberlyn-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
