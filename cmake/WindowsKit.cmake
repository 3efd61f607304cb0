# The Windows developer's kit, a ZIP made by `cpack` in the `windows` build: TAMBERLYN.dll,
# tamberlyn-engine.dll and tamberlyn.exe (bin), tamberlyn.h and tamberlyn_engine.h (include),
# each library's .def with import libraries for MinGW (lib*.dll.a) and for MSVC (.lib, made from
# the .def by llvm-dlltool) (lib), the .NET example (dotnet), the README and the copyright note.
find_program(LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
foreach(library TAMBERLYN tamberlyn-engine)
    string(TOLOWER ${library} def)
    set(msvc_import ${PROJECT_BINARY_DIR}/src/${library}.lib)
    add_custom_command(OUTPUT ${msvc_import}
        COMMAND ${LLVM_DLLTOOL} -m i386:x86-64 -D ${library}.dll
                -d ${PROJECT_SOURCE_DIR}/src/boundary/${def}.def -l ${msvc_import}
        DEPENDS ${PROJECT_SOURCE_DIR}/src/boundary/${def}.def VERBATIM)
    add_custom_target(${def}_msvc_import ALL DEPENDS ${msvc_import})
    install(FILES ${PROJECT_SOURCE_DIR}/src/boundary/${def}.def RENAME ${library}.def
        DESTINATION lib COMPONENT dev)
    install(FILES ${msvc_import} DESTINATION lib COMPONENT dev)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/examples/dotnet/Tamberlyn.cs
              ${PROJECT_SOURCE_DIR}/examples/dotnet/TamberlynEngine.cs
              ${PROJECT_SOURCE_DIR}/examples/dotnet/Program.cs
    DESTINATION dotnet COMPONENT dev)
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
