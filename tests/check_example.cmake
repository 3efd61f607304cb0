# The bundled example is exactly what its generator makes.
# -DGENERATOR=path -DEXAMPLE=path -DOUT=path
execute_process(COMMAND ${GENERATOR} ${OUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "generator failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${EXAMPLE} RESULT_VARIABLE differ)
if(differ)
    message(FATAL_ERROR "${EXAMPLE} differs from the generator's output; regenerate it")
endif()
