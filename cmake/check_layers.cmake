# Fails when a source file includes a header of a layer above its own:
#   app -> ui -> monitor, storage -> gui, platform -> base
# (gui/memory, the test double, sits with gui). The monitoring and storage
# operations are members of the main window's class, so monitor/ and
# storage/ may include ui/main_form.h and nothing else of ui/.
#   cmake -DROOT=<src> -DSTAMP=<file to touch> -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)

set(allowed_app app ui monitor storage gui platform base)
set(allowed_ui ui monitor storage gui platform base)
set(allowed_monitor monitor gui platform base)
set(allowed_storage storage gui platform base)
set(allowed_gui gui platform base)
set(allowed_platform platform base)
set(allowed_base base)

file(GLOB_RECURSE sources RELATIVE "${ROOT}" "${ROOT}/*.h" "${ROOT}/*.cpp")
set(failures "")
foreach(source IN LISTS sources)
    string(REGEX MATCH "^[a-z]+" layer "${source}")
    if(NOT DEFINED allowed_${layer})
        string(APPEND failures "\n  ${source}: in no layer")
        continue()
    endif()
    file(STRINGS "${ROOT}/${source}" includes REGEX "^#include \"[a-z]+/")
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
        string(REGEX MATCH "^[a-z]+" target "${header}")
        if(target IN_LIST allowed_${layer})
            continue()
        endif()
        if(header STREQUAL "ui/main_form.h" AND layer MATCHES "^(monitor|storage)$")
            continue()
        endif()
        string(APPEND failures "\n  ${source}: ${layer}/ may not include ${header}")
    endforeach()
endforeach()
if(failures)
    message(FATAL_ERROR "Includes that run up the layers:${failures}")
endif()
file(TOUCH "${STAMP}")
