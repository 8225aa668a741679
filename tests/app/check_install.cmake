# Installs the build into a scratch prefix and checks that the program, its desktop entry and its
# icon arrive where a desktop looks for them. Run with -DBUILD_DIR=... -DPREFIX=...
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(path bin/QelpConvert share/applications/qelpconvert.desktop share/icons/hicolor/48x48/apps/qelpconvert.png
             share/icons/hicolor/256x256/apps/qelpconvert.png)
  if(NOT EXISTS ${PREFIX}/${path})
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()
file(STRINGS ${PREFIX}/share/applications/qelpconvert.desktop entry)
# "%f": a file manager's "Open with" hands the chosen AC-3 file to the program.
foreach(line "Type=Application" "Exec=QelpConvert %f" "Icon=qelpconvert" "Name=QelpConvert" "MimeType=audio/ac3;")
  list(FIND entry "${line}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the desktop entry lacks ${line}")
  endif()
endforeach()
