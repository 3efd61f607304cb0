# Warning flags shared by every target of the project.
function(tamberlyn_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${TAMBERLYN_WERROR}>:/WX>)
    else()
        target_compile_options(${target} PRIVATE
            -Wall -Wextra -Wpedantic -Wshadow -Wundef -Wcast-align -Wnull-dereference
            $<$<BOOL:${TAMBERLYN_WERROR}>:-Werror>)
    endif()
endfunction()
