# The version stands once, in project() of the top-level CMakeLists.txt (and the date of that
# release beside it). This file writes it into everything that carries it: the code
# (rotorix_version.h), the Windows version records (packaging/windows/rotorix.rc.in) and the
# AppStream metainfo. The .deb takes PROJECT_VERSION through CPack (packaging/CMakeLists.txt).
#
# "1.04" is what people see; Windows' numeric record holds it as 1,4,0,0.
math(EXPR ROTORIX_VERSION_MAJOR_NUMBER "${PROJECT_VERSION_MAJOR} + 0")
math(EXPR ROTORIX_VERSION_MINOR_NUMBER "${PROJECT_VERSION_MINOR} + 0")

configure_file(${CMAKE_CURRENT_LIST_DIR}/rotorix_version.h.in
               ${PROJECT_BINARY_DIR}/generated/rotorix_version.h @ONLY)
add_library(rotorix_version INTERFACE)
target_include_directories(rotorix_version INTERFACE ${PROJECT_BINARY_DIR}/generated)

set(ROTORIX_APPSTREAM_ID io.github.rotorix.config)
set(ROTORIX_METAINFO_FILE ${PROJECT_BINARY_DIR}/packaging/linux/${ROTORIX_APPSTREAM_ID}.metainfo.xml)
configure_file(${PROJECT_SOURCE_DIR}/packaging/linux/${ROTORIX_APPSTREAM_ID}.metainfo.xml.in
               ${ROTORIX_METAINFO_FILE} @ONLY)

# rotorix_version_record(<program> [OUTPUT_VARIABLE <var>])
# Writes the version record of <program>.exe to packaging/windows/<program>.rc in the build tree
# and, when building for Windows and <program> is a target, compiles it into the program. The
# record is written on every system, so the Linux build can check it too (scripts/check-packaging).
function(rotorix_version_record program)
    cmake_parse_arguments(ARG "" "OUTPUT_VARIABLE" "" ${ARGN})
    set(ROTORIX_RC_FILE_NAME ${program}.exe)
    set(rc ${PROJECT_BINARY_DIR}/packaging/windows/${program}.rc)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/rotorix.rc.in ${rc} @ONLY)
    if(WIN32 AND TARGET ${program})
        target_sources(${program} PRIVATE ${rc})
        # windres looks for rotorix.ico on the include path, not beside the script.
        set_source_files_properties(${rc} TARGET_DIRECTORY ${program} PROPERTIES
            INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/packaging/windows)
    endif()
    if(ARG_OUTPUT_VARIABLE)
        set(${ARG_OUTPUT_VARIABLE} ${rc} PARENT_SCOPE)
    endif()
endfunction()

# The window program's record exists even where the window is not built, for the checks.
rotorix_version_record(rotorix-config)
