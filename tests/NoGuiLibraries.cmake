# Fails when one of PROGRAMS (a ;-list) needs Qt's GUI or widget libraries: the headless tools run
# on servers without a display stack.
foreach(program IN LISTS PROGRAMS)
    execute_process(COMMAND readelf -d "${program}" OUTPUT_VARIABLE dynamic RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "readelf failed on ${program}")
    endif()
    string(REGEX MATCHALL "libQt6(Widgets|Gui)[^]]*" gui "${dynamic}")
    if(gui)
        message(FATAL_ERROR "${program} needs ${gui}")
    endif()
endforeach()
