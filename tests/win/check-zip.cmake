# Checks the zip for Windows users: exactly the programs, the README, the license and the
# third-party notices in one folder; the README with Windows line ends and the version, the license
# and the notices the very texts at the root of the source with Windows line ends; and programs that
# need no DLL beyond Windows' own.
#
#   cmake -DZIP=<zip> -DPROGRAMS=<name;...> -DVERSION=<version> -DOBJDUMP=<objdump> -DWORK=<dir>
#         -P check-zip.cmake
file(REMOVE_RECURSE ${WORK})
file(ARCHIVE_EXTRACT INPUT ${ZIP} DESTINATION ${WORK})
get_filename_component(folder ${ZIP} NAME_WLE)

set(expected ${folder}/README.txt ${folder}/LICENSE.txt ${folder}/THIRD-PARTY-NOTICES.txt)
foreach(program ${PROGRAMS})
    list(APPEND expected ${folder}/${program}.exe)
endforeach()
file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${WORK} ${WORK}/*)
list(SORT expected)
list(SORT found)
if(NOT found STREQUAL expected)
    message(FATAL_ERROR "the zip holds\n  ${found}\nrather than\n  ${expected}")
endif()

file(READ ${WORK}/${folder}/README.txt readme)
string(FIND "${readme}" "Version ${VERSION}." at)
# As bytes: file(READ) of text drops carriage returns.
file(READ ${WORK}/${folder}/README.txt readme_bytes HEX)
string(FIND "${readme_bytes}" "0d0a" crlf)
if(at LESS 0 OR crlf LESS 0)
    message(FATAL_ERROR "README.txt lacks \"Version ${VERSION}.\" or Windows line ends")
endif()

# Compared as bytes, one "xx-" a byte, so a line end is one whole "0a-": the shipped text must be
# the source's with every LF turned into CR LF, and nothing else changed.
get_filename_component(source_root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
foreach(text LICENSE THIRD-PARTY-NOTICES)
    file(READ ${source_root}/${text} want HEX)
    file(READ ${WORK}/${folder}/${text}.txt got HEX)
    string(REGEX REPLACE "(..)" "\\1-" want "${want}")
    string(REGEX REPLACE "(..)" "\\1-" got "${got}")
    string(REPLACE "0a-" "0d-0a-" want "${want}")
    if(NOT got STREQUAL want)
        message(FATAL_ERROR "${text}.txt in the zip is not ${text} with Windows line ends")
    endif()
endforeach()

# What Windows always has; anything else (libstdc++-6.dll, libwinpthread-1.dll, ...) would have to
# ship beside the program.
set(system_dlls ADVAPI32.dll COMCTL32.dll GDI32.dll HID.DLL KERNEL32.dll msvcrt.dll ole32.dll
                SETUPAPI.dll SHELL32.dll USER32.dll)
foreach(program ${PROGRAMS})
    execute_process(COMMAND ${OBJDUMP} -p ${WORK}/${folder}/${program}.exe
                    OUTPUT_VARIABLE headers RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "${OBJDUMP} cannot read ${program}.exe")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
    foreach(import ${imports})
        string(REPLACE "DLL Name: " "" dll "${import}")
        string(STRIP "${dll}" dll)
        string(TOUPPER "${dll}" dll_upper)
        set(known FALSE)
        foreach(system ${system_dlls})
            string(TOUPPER "${system}" system_upper)
            if(dll_upper STREQUAL system_upper)
                set(known TRUE)
            endif()
        endforeach()
        if(NOT known)
            message(FATAL_ERROR "${program}.exe needs ${dll}, which Windows does not ship")
        endif()
    endforeach()
    message(STATUS "${program}.exe imports: ${imports}")
endforeach()
