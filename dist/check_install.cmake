# Installs the build into a fresh folder, checks the files of a desktop installation and that
# the installed program answers --where without a display.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "cmake --install failed: ${failed}")
endif()
foreach(file bin/zarvel share/applications/${APP_ID}.desktop share/metainfo/${APP_ID}.metainfo.xml
             share/icons/hicolor/scalable/apps/zarvel.svg share/icons/hicolor/48x48/apps/zarvel.png)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "missing after installation: ${file}")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                        --unset=QT_QPA_PLATFORM ${PREFIX}/bin/zarvel --where
                RESULT_VARIABLE failed OUTPUT_VARIABLE where)
if(failed OR NOT where MATCHES "\nsettings: /[^\n]*/\n")
  message(FATAL_ERROR "zarvel --where: ${failed}\n${where}")
endif()
file(REMOVE_RECURSE ${PREFIX})
