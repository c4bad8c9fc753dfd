# The reader library publishes Workbook.h alone. Run by ctest as
#   cmake -DSETTINGS=<reader-probe.cmake> -DWORK=<folder> -P reader-boundary.cmake
# it compiles, with the include paths and definitions that code linking
# plivan_classdata and plivan_workbook gets, a file that includes one header
# of the library by its full path, for each of its headers: Workbook.h must
# compile; every other one must not, and must not even with the library's
# folder on the include path, where its own guard stops it.
include(${SETTINGS}) # COMPILER, STANDARD, INCLUDES, DEFINES, ROOT, HEADERS

set(flags ${STANDARD} -fsyntax-only -Wfatal-errors)
foreach(dir IN LISTS INCLUDES)
    list(APPEND flags "-I${dir}")
endforeach()
foreach(definition IN LISTS DEFINES)
    list(APPEND flags "-D${definition}")
endforeach()
file(MAKE_DIRECTORY ${WORK})

# Compiles `#include "<header>"` with `extra` flags; the compiler's exit
# code in `rc`, its messages in `messages`.
function(probe header extra)
    file(WRITE ${WORK}/probe.cpp "#include \"${header}\"\n")
    execute_process(COMMAND ${COMPILER} ${flags} ${extra} ${WORK}/probe.cpp
        RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
    set(rc ${code} PARENT_SCOPE)
    set(messages "${out}" PARENT_SCOPE)
endfunction()

probe(Workbook.h "")
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "Workbook.h does not compile from outside the reader library:\n${messages}")
endif()

set(holes 0)
foreach(header IN LISTS HEADERS)
    probe(${ROOT}/${header} "")
    if(rc EQUAL 0)
        message(SEND_ERROR "${header} compiles from outside the reader library")
        math(EXPR holes "${holes} + 1")
        continue()
    endif()
    probe(${ROOT}/${header} "-I${ROOT}/classdata/workbook")
    if(rc EQUAL 0 OR NOT messages MATCHES "belongs to the workbook readers")
        message(SEND_ERROR "${header} is not stopped by its guard:\n${messages}")
        math(EXPR holes "${holes} + 1")
    endif()
endforeach()
list(LENGTH HEADERS count)
if(holes GREATER 0)
    message(FATAL_ERROR "${holes} of ${count} reader headers reach outside the library")
endif()
message(STATUS "Workbook.h compiles from outside; the ${count} other reader headers do not")
