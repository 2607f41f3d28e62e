# Compiles HLP\Quellwipe.chm with chmcmd. Run with -DCHMCMD=<chmcmd>
# -DPROJECT=<folder of Quellwipe.hhp> -DLOOSE=<data/HLP> -DSTAGE=<scratch folder>
# -DOUT=<.chm>. The pages of data/HLP (the sub-folder options page and the
# style sheet) are shipped loose as well and compiled in beside the project.
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
file(COPY ${PROJECT}/ DESTINATION ${STAGE})
file(COPY ${LOOSE}/ DESTINATION ${STAGE})
file(REMOVE ${OUT})

execute_process(COMMAND ${CHMCMD} Quellwipe.hhp
    WORKING_DIRECTORY ${STAGE}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
# chmcmd 3.2 ends with 0 when it cannot read the project and after a
# broken link it found while scanning the pages: its words are checked too.
set(chm ${STAGE}/Quellwipe.chm)
set(problem "")
if(NOT result EQUAL 0)
    set(problem "chmcmd ended with ${result}")
elseif("${output}${errors}" MATCHES "Warning|Error|[Cc]an't|exception")
    set(problem "chmcmd reported a problem")
elseif(NOT EXISTS ${chm})
    set(problem "chmcmd wrote no ${chm}")
else()
    file(READ ${chm} magic LIMIT 4 HEX)
    if(NOT magic STREQUAL "49545346") # "ITSF"
        set(problem "${chm} is not a compiled help file")
    endif()
endif()
if(problem)
    message(FATAL_ERROR "Help file not built: ${problem}\n${output}${errors}")
endif()
get_filename_component(out_dir ${OUT} DIRECTORY)
file(MAKE_DIRECTORY ${out_dir})
file(COPY_FILE ${chm} ${OUT})
