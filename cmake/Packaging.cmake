# Installation into the standard places and a Debian package:
#   cmake --install build --prefix /usr/local
#   cmake --build build --target tabulo tabulo-reg && cd build && cpack && sudo apt-get install ./tabulo_*.deb
# (cpack packs what is built; the target "package" would build every test first)
include(GNUInstallDirs)

foreach(_program tabulo tabulo-reg)
  if(TARGET ${_program})
    install(TARGETS ${_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# The program finds the sample database's script at <its folder>/../share/tabulo, in the
# build tree as installed.
configure_file(${PROJECT_SOURCE_DIR}/scripts/beispiel.sql ${PROJECT_BINARY_DIR}/share/tabulo/beispiel.sql COPYONLY)
install(FILES ${PROJECT_SOURCE_DIR}/scripts/beispiel.sql DESTINATION ${CMAKE_INSTALL_DATADIR}/tabulo)

install(FILES ${PROJECT_SOURCE_DIR}/packaging/tabulo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/app/icons/tabulo.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(_size 16 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/app/icons/tabulo-${_size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps RENAME tabulo.png)
endforeach()

# Manual pages and the changelog go compressed as Debian wants them: best compression, no
# name or time stamp in the gzip header, so that two builds give the same bytes.
find_program(GZIP_PROGRAM gzip REQUIRED)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/packaging)
function(tabulo_gzip source target)
  execute_process(COMMAND ${GZIP_PROGRAM} -9n -c ${source} OUTPUT_FILE ${target} COMMAND_ERROR_IS_FATAL ANY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()
foreach(_page tabulo.1 tabulo-reg.1)
  tabulo_gzip(${PROJECT_SOURCE_DIR}/packaging/${_page} ${PROJECT_BINARY_DIR}/packaging/${_page}.gz)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/${_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
tabulo_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
              ${PROJECT_SOURCE_DIR}/docs/Anleitung.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tabulo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tabulo)
set(CPACK_PACKAGE_VENDOR "Tabulo-Entwickler")
set(CPACK_PACKAGE_CONTACT "Tabulo-Entwickler <tabulo@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop SQL client for SQLite, PostgreSQL and ODBC databases")
set(CPACK_PACKAGE_DESCRIPTION
    "Tabulo keeps a catalogue of database connections, opens them side by side\n\
in tabs, runs SQL from a syntax-colouring editor and shows the results in a\n\
grid that can also edit them. It browses tables, fields and indexes and keeps\n\
a history of the statements run. The user interface is German.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link come from dpkg-shlibdeps (Qt 6, QScintilla, SQLite, libpq,
# unixODBC); Qt loads the SVG icon engine at run time, so the icons need it named here. The ODBC
# drivers register themselves with the driver manager when installed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "unixodbc, libsqliteodbc, odbc-postgresql, qt6-translations-l10n, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "odbc-mariadb, tdsodbc, odbc-mdbtools")
include(CPack)
