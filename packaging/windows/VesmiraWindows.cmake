# Icon, manifest and version information for the Windows programs.
#
#   vesmira_windows_resources(<target> FILE_NAME <name.exe> DESCRIPTION <text>)
#
# gives <target> the program's icon, a manifest and a Japanese VERSIONINFO
# (product ヴェスミラ, the project's version). It may be called from any
# directory once this file is included; it needs no RC language, as windres
# runs as a custom command and its object is linked into the target.
include_guard(GLOBAL)

set(VESMIRA_WINDOWS_DIR ${CMAKE_CURRENT_LIST_DIR})
set(VESMIRA_PRODUCT_NAME "ヴェスミラ")
set(VESMIRA_COMPANY "Vesmira maintainers")
set(VESMIRA_COPYRIGHT "Copyright 2026 Vesmira maintainers")
# The version in the four numbers Windows shows: 1.0.0 is 1.0.0.0.
set(VESMIRA_VERSION_QUAD)
foreach(part MAJOR MINOR PATCH TWEAK)
    if("${PROJECT_VERSION_${part}}" STREQUAL "")
        list(APPEND VESMIRA_VERSION_QUAD 0)
    else()
        list(APPEND VESMIRA_VERSION_QUAD ${PROJECT_VERSION_${part}})
    endif()
endforeach()
list(JOIN VESMIRA_VERSION_QUAD "." VESMIRA_VERSION_QUAD)

if(CMAKE_RC_COMPILER)
    set(VESMIRA_WINDRES ${CMAKE_RC_COMPILER})
else()
    find_program(VESMIRA_WINDRES NAMES x86_64-w64-mingw32-windres windres REQUIRED)
endif()

# The icon, PNG images of each size in one .ico (read since Windows Vista),
# made from the PNGs that the windows use, so that the two never differ.
# Made at configure time: the .rc needs it before anything is built, in
# whichever directory the program is.
find_program(VESMIRA_ICOTOOL icotool REQUIRED)
set(VESMIRA_WINDOWS_ICON ${CMAKE_BINARY_DIR}/vesmira-windows/vesmira.ico)
set(icon_images)
foreach(size 16 32 48 64 128)
    list(APPEND icon_images ${VESMIRA_WINDOWS_DIR}/../../ui/icons/vesmira-${size}.png)
endforeach()
set(icon_arguments)
foreach(image ${icon_images})
    list(APPEND icon_arguments --raw=${image})
endforeach()
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/vesmira-windows)
execute_process(COMMAND ${VESMIRA_ICOTOOL} -c -o ${VESMIRA_WINDOWS_ICON} ${icon_arguments}
                RESULT_VARIABLE icon_failed ERROR_VARIABLE icon_error)
if(icon_failed)
    message(FATAL_ERROR "icotool could not make ${VESMIRA_WINDOWS_ICON}: ${icon_error}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${icon_images})

function(vesmira_windows_resources target)
    cmake_parse_arguments(R "" "FILE_NAME;DESCRIPTION" "" ${ARGN})
    if(NOT R_FILE_NAME OR NOT R_DESCRIPTION)
        message(FATAL_ERROR "vesmira_windows_resources(${target}) needs FILE_NAME and DESCRIPTION")
    endif()
    get_property(done TARGET ${target} PROPERTY VESMIRA_WINDOWS_RESOURCES)
    if(done)
        return()
    endif()
    set_property(TARGET ${target} PROPERTY VESMIRA_WINDOWS_RESOURCES ON)

    set(VESMIRA_RC_VERSION ${PROJECT_VERSION})
    set(VESMIRA_RC_VERSION_DOTS ${VESMIRA_VERSION_QUAD})
    string(REPLACE "." "," VESMIRA_RC_VERSION_COMMAS ${VESMIRA_VERSION_QUAD})
    get_filename_component(VESMIRA_RC_INTERNAL_NAME ${R_FILE_NAME} NAME_WE)
    set(VESMIRA_RC_FILE_NAME ${R_FILE_NAME})
    set(VESMIRA_RC_ICON ${VESMIRA_WINDOWS_ICON})
    set(VESMIRA_RC_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
    set(VESMIRA_RC_DESCRIPTION "${R_DESCRIPTION}")
    set(VESMIRA_RC_PRODUCT "${VESMIRA_PRODUCT_NAME}")
    set(VESMIRA_RC_COMPANY "${VESMIRA_COMPANY}")
    set(VESMIRA_RC_COPYRIGHT "${VESMIRA_COPYRIGHT}")
    # Within an .rc string a quotation mark is written twice.
    foreach(text DESCRIPTION PRODUCT COMPANY COPYRIGHT)
        string(REPLACE "\"" "\"\"" VESMIRA_RC_${text} "${VESMIRA_RC_${text}}")
    endforeach()

    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    set(object ${CMAKE_CURRENT_BINARY_DIR}/${target}-resources.o)
    configure_file(${VESMIRA_WINDOWS_DIR}/vesmira.rc.in ${rc} @ONLY)
    configure_file(${VESMIRA_WINDOWS_DIR}/vesmira.manifest.in ${VESMIRA_RC_MANIFEST} @ONLY)
    add_custom_command(OUTPUT ${object}
        COMMAND ${VESMIRA_WINDRES} --codepage=65001 -O coff -i ${rc} -o ${object}
        DEPENDS ${rc} ${VESMIRA_RC_MANIFEST} ${VESMIRA_WINDOWS_ICON}
        COMMENT "Resources of ${R_FILE_NAME}"
        VERBATIM)
    add_custom_target(${target}_resources DEPENDS ${object})
    add_dependencies(${target} ${target}_resources)
    target_link_libraries(${target} PRIVATE ${object})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${object})
endfunction()
