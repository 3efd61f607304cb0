# Compiles tests/header_users.c as C89, C99 and C11 and as C++98, C++11 and C++17, pedantic and
# with warnings as errors: the public headers must suit every caller.
# -DC_COMPILER=... -DCXX_COMPILER=... -DSOURCE_DIR=...
set(flags -fsyntax-only -pedantic-errors -Wall -Wextra -Werror -I${SOURCE_DIR}/include)
foreach(standard c89 c99 c11)
    execute_process(COMMAND ${C_COMPILER} -std=${standard} ${flags}
        ${SOURCE_DIR}/tests/header_users.c RESULT_VARIABLE rc ERROR_VARIABLE err)
    if(rc)
        message(FATAL_ERROR "the headers do not compile as ${standard}:\n${err}")
    endif()
endforeach()
foreach(standard c++98 c++11 c++17)
    execute_process(COMMAND ${CXX_COMPILER} -x c++ -std=${standard} ${flags}
        ${SOURCE_DIR}/tests/header_users.c RESULT_VARIABLE rc ERROR_VARIABLE err)
    if(rc)
        message(FATAL_ERROR "the headers do not compile as ${standard}:\n${err}")
    endif()
endforeach()
