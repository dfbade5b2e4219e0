# rotorixctl.exe under Wine writes a profile to a folder and file whose names are not ASCII, and
# reads it back from there: both go through the wide file API, not the ANSI code page.
#   cmake -DWINE_RUN=<cmake/wine-run> -DPREFIX=<wine prefix> -DCTL=<rotorixctl.exe> -DWORK=<dir> -P ...
set(dir "${WORK}/Профиль Ω")
set(file "${dir}/Ωmega-Ä 1.json")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${dir}")

function(ctl)
    execute_process(COMMAND ${WINE_RUN} ${PREFIX} ${CTL} --demo ${ARGN}
                    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "rotorixctl ${ARGN}: exit ${status}\n${out}${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

# Wine's Z: drive is the Unix root.
ctl(export --board RX-0117 -o "Z:${file}")
file(GLOB written LIST_DIRECTORIES false "${dir}/*")
if(NOT written STREQUAL file)
    message(FATAL_ERROR "export should have written \"${file}\" alone; the folder holds: ${written}")
endif()
file(READ "${file}" profile)
if(NOT profile MATCHES "\"pulse_ms\"")
    message(FATAL_ERROR "not a profile:\n${profile}")
endif()

ctl(import --board RX-0342 "Z:${file}")
if(NOT out MATCHES "RX-0342.*written")
    message(FATAL_ERROR "import did not write RX-0342:\n${out}")
endif()
