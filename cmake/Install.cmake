# `cmake --install` lays out a portable program folder under the prefix (the
# programs with blankimg/, help/ and an empty ini/ beside them, as in
# build/bin/), a desktop entry that starts the desktop program, and its icon.
set(TESSELLON_INSTALL_FOLDER "tessellon" CACHE STRING "The program folder, under the install prefix")
set(folder ${TESSELLON_INSTALL_FOLDER})

foreach(program tessellon tessellon-cli tessellon-tileserver combiner mapviewer)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${folder})
  endif()
endforeach()
install(DIRECTORY data/blankimg data/help DESTINATION ${folder})
# The catalogue of tile sources, read-only beside the programs.
install(FILES data/sources.ini DESTINATION ${folder} PERMISSIONS OWNER_READ GROUP_READ WORLD_READ)
install(DIRECTORY DESTINATION ${folder}/ini)

foreach(size 16 32 48 64 128 256)
  install(FILES src/ui/icons/tessellon-${size}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME tessellon.png)
endforeach()

# The entry names the program by its installed path, which is known only when
# installing (`cmake --install --prefix` may change it).
install(CODE "set(tessellon_folder \"${folder}\")")
install(CODE [[
  set(entry "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/applications/tessellon.desktop")
  message(STATUS "Installing: ${entry}")
  file(WRITE "${entry}" "[Desktop Entry]
Type=Application
Name=Tessellon
GenericName=Map Tile Downloader
Comment=Download the image tiles of a web map for an area of the earth
Exec=\"${CMAKE_INSTALL_PREFIX}/${tessellon_folder}/tessellon\"
Icon=tessellon
Terminal=false
Categories=Science;Geography;
")
]])
