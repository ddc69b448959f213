# The app never writes a fan key: only the helper does. That is a fact of the link graph, checked
# twice so that neither a new dependency nor an object file dragged in by a neighbour can undo it.
#
# At configure time, aerivo_check_no_write_libraries(TARGET) walks the target's link closure and
# fails when any library that can write is in it. After linking, the program's symbol table is
# searched for the writing entry points themselves (this file run with cmake -P, BINARY=<file>).

include("${CMAKE_CURRENT_LIST_DIR}/AerivoLinkClosure.cmake")

# Libraries whose code sends SMC writes or writes fan files.
set(AERIVO_WRITE_LIBRARIES aerivo_smc_write aerivo_helper_core aerivo_platform_hwmon_write)
# Demangled names (regular expressions) of the functions that build or carry out a write.
set(AERIVO_WRITE_SYMBOLS "aerivo::writeSMCValue" "aerivo::HwmonFanWriter")

function(aerivo_check_no_write_libraries target)
    aerivo_link_closure(${target} closure)
    foreach(library IN LISTS AERIVO_WRITE_LIBRARIES)
        if(library IN_LIST closure)
            message(FATAL_ERROR "${target} links ${library}, which writes fan keys: the app must "
                                "never hold an SMC write path")
        endif()
    endforeach()
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND "${CMAKE_COMMAND}" -DBINARY=$<TARGET_FILE:${target}>
                -DNM=${CMAKE_NM} -P "${PROJECT_SOURCE_DIR}/cmake/AerivoWritePathCheck.cmake"
        COMMENT "Checking that ${target} holds no SMC write path"
        VERBATIM)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED BINARY)
    if(NOT NM)
        set(NM nm)
    endif()
    execute_process(COMMAND "${NM}" -C "${BINARY}" OUTPUT_VARIABLE symbols
                    RESULT_VARIABLE status ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "nm could not read ${BINARY}: ${errors}")
    endif()
    foreach(pattern IN LISTS AERIVO_WRITE_SYMBOLS)
        string(REGEX MATCH "[^\n]*${pattern}[^\n]*" found "${symbols}")
        if(found)
            message(FATAL_ERROR "${BINARY} holds an SMC write path: ${found}")
        endif()
    endforeach()
endif()
