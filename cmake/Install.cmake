# `cmake --install` lays the programs out as a Linux system keeps them: the
# programs in lib/tessellon/ (the main window starts its companions from its
# own folder), the data they only read in share/tessellon/, reached from the
# program folder through relative links, so every program finds blankimg/,
# help/ and sources.ini beside itself as in build/bin/. The program folder
# gets no ini/: settings then live in the user's configuration folder, and an
# installed program never writes beside itself. The commands a user types are
# linked from bin/; a desktop entry, its icon and the manual pages come along.
set(program_folder lib/tessellon)
set(data_folder share/tessellon)

foreach(program tessellon tessellon-cli combiner mapviewer)
  install(TARGETS ${program} RUNTIME DESTINATION ${program_folder})
endforeach()
install(TARGETS tessellon_area_formats tessellon_area_geometry LIBRARY DESTINATION ${program_folder})
install(DIRECTORY data/blankimg data/help DESTINATION ${data_folder})
install(FILES data/sources.ini DESTINATION ${data_folder})

foreach(size 16 32 48 64 128 256)
  install(FILES src/ui/icons/tessellon-${size}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME tessellon.png)
endforeach()
install(FILES data/install/tessellon.desktop DESTINATION share/applications)
install(FILES data/install/copyright DESTINATION share/doc/tessellon)

# Manual pages and the change log are kept compressed, as Debian keeps them;
# -n leaves the name and time out, so the same text gives the same bytes.
set(compressed ${CMAKE_BINARY_DIR}/compressed)
foreach(file tessellon.1 tessellon-cli.1 tessellon-combiner.1 changelog)
  set(source ${PROJECT_SOURCE_DIR}/data/install/${file})
  if(file STREQUAL "changelog")
    configure_file(${source}.in ${compressed}/${file} @ONLY)
    set(source ${compressed}/${file})
  endif()
  add_custom_command(OUTPUT ${compressed}/${file}.gz
                     COMMAND gzip -9 -n -c ${source} > ${compressed}/${file}.gz
                     DEPENDS ${source} VERBATIM)
  list(APPEND compressed_files ${compressed}/${file}.gz)
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${compressed_files})
list(FILTER compressed_files INCLUDE REGEX "\\.1\\.gz$")
install(FILES ${compressed_files} DESTINATION share/man/man1)
install(FILES ${compressed}/changelog.gz DESTINATION share/doc/tessellon)

# Relative links keep the tree movable: a package installs it under /usr,
# `cmake --install --prefix DIR` anywhere else.
install(CODE "set(program_folder ${program_folder})
set(data_folder ${data_folder})")
install(CODE [[
  set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  function(tessellon_link target link)
    get_filename_component(folder "${root}/${link}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    file(REMOVE "${root}/${link}")
    message(STATUS "Linking: ${root}/${link} -> ${target}")
    file(CREATE_LINK "${target}" "${root}/${link}" SYMBOLIC)
  endfunction()
  foreach(data blankimg help sources.ini)
    tessellon_link("../../${data_folder}/${data}" "${program_folder}/${data}")
  endforeach()
  tessellon_link("../${program_folder}/tessellon" bin/tessellon)
  tessellon_link("../${program_folder}/tessellon-cli" bin/tessellon-cli)
  tessellon_link("../${program_folder}/combiner" bin/tessellon-combiner)
]])

include(cmake/Package.cmake)
