# Installation (GNU layout) and the Debian package. A packager runs
#   cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build
#   cmake --install build --prefix /usr --destdir stage   (or: cpack -G DEB)
include(GNUInstallDirs)

install(TARGETS porvane-cli porvane-linkbox RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/completion/porvane-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES data/doc/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/porvane)

# Debian wants manual pages and the change log compressed, without time
# stamps so that builds repeat.
set(PORVANE_MAN_PAGES porvane-cli porvane-linkbox)
if(PORVANE_GUI)
  list(APPEND PORVANE_MAN_PAGES porvane)
endif()
set(compressed)
foreach(page ${PORVANE_MAN_PAGES})
  set(out ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${out} COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
                     COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/data/man/${page}.1 > ${out}
                     DEPENDS data/man/${page}.1 VERBATIM)
  list(APPEND compressed ${out})
endforeach()
set(changelog ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${changelog} COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
                   COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/data/doc/changelog > ${changelog}
                   DEPENDS data/doc/changelog VERBATIM)
add_custom_target(porvane_docs ALL DEPENDS ${compressed} ${changelog})
install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/porvane)

if(PORVANE_GUI)
  install(TARGETS porvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The menu entry starts the program with its own data folder and opens
  # card images handed over by the file manager.
  install(FILES data/desktop/io.github.porvane.Porvane.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES data/desktop/io.github.porvane.Porvane.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES data/desktop/porvane-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
          RENAME porvane.xml)
  foreach(size 48 256)
    install(FILES data/icons/porvane-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME porvane.png)
  endforeach()
  install(FILES data/icons/porvane.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME porvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Porvane developers <maintainers@porvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "memory card manager for the DC console")
set(CPACK_PACKAGE_DESCRIPTION
    "Porvane reads the memory cards of the DC console through a link box on
the parallel port, shows their save files with animated icons, sizes,
dates and free space, and copies, moves, deletes and formats them. It
saves whole cards to card images and uploads them again, exports and
imports single save files, turns a picture into the card's caption logo,
disassembles and patches executable save files and edits any save file in
a small hex editor.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies come from the shared libraries the programs link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_STRIP_FILES ON)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
