# Checks that the program is a client of the engine library: it needs libtamberlyn-engine, takes
# the recorder and the silence engine from it, and carries no code of theirs itself.
# -DPROGRAM=path -DNM=path
execute_process(COMMAND ${NM} -C ${PROGRAM} OUTPUT_VARIABLE own RESULT_VARIABLE rc)
if(rc)
    message(FATAL_ERROR "nm failed on ${PROGRAM}")
endif()
if(own MATCHES "[TtWw] (tamberlyn::|SoundRecorder|WAVSilence)")
    message(FATAL_ERROR "the program holds engine code of its own: ${CMAKE_MATCH_0}")
endif()
execute_process(COMMAND ${NM} -D --undefined-only ${PROGRAM} OUTPUT_VARIABLE needed)
foreach(symbol tamberlyn_shorten tamberlyn_recorder_start tamberlyn_wav_repair)
    if(NOT needed MATCHES "${symbol}")
        message(FATAL_ERROR "the program does not take ${symbol} from the engine library")
    endif()
endforeach()
