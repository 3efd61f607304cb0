# Installs the build into a scratch prefix, then builds and runs a consumer project against it,
# once through find_package and once through pkg-config.
# -DBUILD_DIR=... -DSOURCE_DIR=... -DSCRATCH=... -DC_COMPILER=...
file(REMOVE_RECURSE ${SCRATCH})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${SCRATCH}/prefix
    RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
    message(FATAL_ERROR "install failed")
endif()
foreach(f lib/libtamberlyn.so.1 lib/libtamberlyn-engine.so.1 include/tamberlyn.h
          include/tamberlyn_engine.h bin/tamberlyn lib/cmake/tamberlyn/tamberlynConfig.cmake
          lib/pkgconfig/tamberlyn.pc lib/pkgconfig/tamberlyn-engine.pc)
    if(NOT EXISTS ${SCRATCH}/prefix/${f})
        message(FATAL_ERROR "not installed: ${f}")
    endif()
endforeach()
execute_process(COMMAND ${SCRATCH}/prefix/bin/tamberlyn --version RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(rc OR NOT out MATCHES "1\\.0\\.0\\.1")
    message(FATAL_ERROR "installed program does not run: ${out}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${SCRATCH}/consumer
    -DCMAKE_PREFIX_PATH=${SCRATCH}/prefix -DCMAKE_C_COMPILER=${C_COMPILER}
    -DCMAKE_BUILD_RPATH=${SCRATCH}/prefix/lib RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc)
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${SCRATCH}/consumer RESULT_VARIABLE rc OUTPUT_QUIET)
endif()
if(NOT rc)
    execute_process(COMMAND ${SCRATCH}/consumer/consumer RESULT_VARIABLE rc)
endif()
if(NOT rc)
    execute_process(COMMAND ${SCRATCH}/consumer/engine_consumer WORKING_DIRECTORY ${SCRATCH}
        RESULT_VARIABLE rc)
endif()
if(rc)
    message(FATAL_ERROR "find_package consumer failed")
endif()

find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
    set(ENV{PKG_CONFIG_PATH} ${SCRATCH}/prefix/lib/pkgconfig)
    execute_process(COMMAND ${PKG_CONFIG} --cflags --libs tamberlyn OUTPUT_VARIABLE flags
        OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    execute_process(COMMAND ${C_COMPILER} ${SOURCE_DIR}/tests/consumer/consumer.c ${flags}
        -Wl,-rpath,${SCRATCH}/prefix/lib -o ${SCRATCH}/pc-consumer RESULT_VARIABLE rc)
    if(NOT rc)
        execute_process(COMMAND ${SCRATCH}/pc-consumer RESULT_VARIABLE rc)
    endif()
    if(NOT rc)
        execute_process(COMMAND ${PKG_CONFIG} --cflags --libs tamberlyn-engine
            OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
        separate_arguments(flags UNIX_COMMAND "${flags}")
    endif()
    if(NOT rc)
        execute_process(COMMAND ${C_COMPILER} -std=c89 -pedantic-errors
            ${SOURCE_DIR}/tests/consumer/engine_consumer.c ${flags}
            -Wl,-rpath,${SCRATCH}/prefix/lib -o ${SCRATCH}/pc-engine-consumer RESULT_VARIABLE rc)
    endif()
    if(NOT rc)
        execute_process(COMMAND ${SCRATCH}/pc-engine-consumer WORKING_DIRECTORY ${SCRATCH}
            RESULT_VARIABLE rc)
    endif()
    if(rc)
        message(FATAL_ERROR "pkg-config consumer failed")
    endif()
endif()
