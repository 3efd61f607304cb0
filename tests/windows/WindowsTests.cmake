# Tests of what only the Windows DLL has: the export table by name and ordinal, the version
# record, the type library, and recording through winmm (Wine's audio driver uses alsa-lib, so
# alsa-lib's configuration decides which input device there is).
add_executable(windows_tests windows/windows_test.cpp)
target_link_libraries(windows_tests PRIVATE GTest::gtest_main tamberlyn version oleaut32 winmm)
target_include_directories(windows_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
add_dependencies(windows_tests tamberlyn_cli)
tamberlyn_warnings(windows_tests)

set(wine_scratch ${CMAKE_CURRENT_BINARY_DIR}/wine)
file(MAKE_DIRECTORY ${wine_scratch})
file(WRITE ${wine_scratch}/zeros.conf
    "pcm.!default { type file slave.pcm { type null } infile \"/dev/zero\" file \"/dev/null\" }\n")
file(WRITE ${wine_scratch}/nocard.conf "pcm.!default { type hw card 7 }\n")

add_test(NAME windows_module COMMAND windows_tests --gtest_filter=WindowsModule.*:WindowsProgram.*)
add_test(NAME windows_recording_without_device
    COMMAND windows_tests --gtest_filter=WindowsRecording.WithoutDevice*)
set_tests_properties(windows_recording_without_device PROPERTIES
    ENVIRONMENT "ALSA_CONFIG_PATH=${wine_scratch}/nocard.conf")
add_test(NAME windows_recording_from_file_plugin
    COMMAND windows_tests --gtest_filter=WindowsRecording.FromFilePlugin*)
set_tests_properties(windows_recording_from_file_plugin PROPERTIES
    ENVIRONMENT "ALSA_CONFIG_PATH=${wine_scratch}/zeros.conf")

# A C++ caller with L"" strings, against both libraries' import libraries.
add_executable(windows_wide_caller windows/wide_caller.cpp)
target_link_libraries(windows_wide_caller PRIVATE tamberlyn tamberlyn_engine)
tamberlyn_warnings(windows_wide_caller)
add_test(NAME windows_wide_caller COMMAND windows_wide_caller)
set_tests_properties(windows_wide_caller PROPERTIES PASS_REGULAR_EXPRESSION "wide caller ok")

add_executable(windows_unload_tests windows/unload_test.cpp)
target_link_libraries(windows_unload_tests PRIVATE GTest::gtest)
target_include_directories(windows_unload_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
                                                         ${PROJECT_SOURCE_DIR}/include)
add_dependencies(windows_unload_tests tamberlyn)
tamberlyn_warnings(windows_unload_tests)
add_test(NAME windows_unload_while_recording COMMAND windows_unload_tests)
set_tests_properties(windows_unload_while_recording PROPERTIES
    ENVIRONMENT "ALSA_CONFIG_PATH=${wine_scratch}/zeros.conf" TIMEOUT 120)

# tamberlyn.exe: the same bytes, output and exit codes as the Linux program (when its build is
# there), and Ctrl-C finalising a recording.
find_program(SOX sox)
if(EXISTS "${TAMBERLYN_LINUX_PROGRAM}" AND SOX)
    add_test(NAME windows_program_matches_linux
        COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/compare_with_linux.sh
                ${TAMBERLYN_LINUX_PROGRAM} $<TARGET_FILE:tamberlyn_cli>
                ${PROJECT_SOURCE_DIR}/scripts/wine-run ${wine_scratch}/compare)
    set_tests_properties(windows_program_matches_linux PROPERTIES TIMEOUT 300)
endif()
add_test(NAME windows_program_ctrl_c_finalises_a_recording
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows/ctrl_c_finalises.sh
            $<TARGET_FILE:tamberlyn_cli> ${PROJECT_SOURCE_DIR}/scripts/wine-run
            ${wine_scratch}/ctrl-c ${wine_scratch}/zeros.conf)
set_tests_properties(windows_program_ctrl_c_finalises_a_recording PROPERTIES TIMEOUT 120)
