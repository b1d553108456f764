# Runs at install time. Each tool is optional: a system without it simply has
# no cache of that kind to refresh.
if(NOT "$ENV{DESTDIR}" STREQUAL "")
    return()
endif()

if(IS_ABSOLUTE "${VYX_INSTALL_DATADIR}")
    set(datadir "${VYX_INSTALL_DATADIR}")
else()
    set(datadir "${CMAKE_INSTALL_PREFIX}/${VYX_INSTALL_DATADIR}")
endif()

function(vyx_refresh tool)
    find_program(exe_${tool} ${tool})
    set(exe "${exe_${tool}}")
    if(exe)
        string(JOIN " " args ${ARGN})
        message(STATUS "Refreshing: ${tool} ${args}")
        execute_process(COMMAND ${exe} ${ARGN} RESULT_VARIABLE rc)
        if(NOT rc EQUAL 0)
            message(WARNING "${tool} failed (${rc}); run it by hand to finish the set-up")
        endif()
    endif()
endfunction()

vyx_refresh(update-mime-database "${datadir}/mime")
vyx_refresh(update-desktop-database -q "${datadir}/applications")
# gtk-update-icon-cache wants the theme's index.theme; a theme without one is
# looked up without a cache anyway.
if(EXISTS "${datadir}/icons/hicolor/index.theme")
    vyx_refresh(gtk-update-icon-cache -q -t "${datadir}/icons/hicolor")
endif()
