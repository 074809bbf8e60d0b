# Installation into the standard places and a Debian package:
#   cmake --install build --prefix /usr/local
#   cd build && cpack -G DEB && sudo apt-get install ./tabulo_*.deb
include(GNUInstallDirs)

foreach(_program tabulo tabulo-reg)
  if(TARGET ${_program})
    install(TARGETS ${_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/packaging/tabulo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/app/icons/tabulo.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(_size 16 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/app/icons/tabulo-${_size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps RENAME tabulo.png)
endforeach()
# Manual pages go gzip-compressed, as Debian wants them.
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/packaging)
foreach(_page tabulo.1 tabulo-reg.1)
  set(_gz ${PROJECT_BINARY_DIR}/packaging/${_page}.gz)
  file(ARCHIVE_CREATE OUTPUT ${_gz} PATHS ${PROJECT_SOURCE_DIR}/packaging/${_page} FORMAT raw COMPRESSION GZip)
  install(FILES ${_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/packaging/tabulo.1 ${PROJECT_SOURCE_DIR}/packaging/tabulo-reg.1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tabulo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tabulo)
set(CPACK_PACKAGE_VENDOR "Tabulo-Entwickler")
set(CPACK_PACKAGE_CONTACT "Tabulo-Entwickler <tabulo@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop SQL client for SQLite, PostgreSQL and ODBC databases")
set(CPACK_PACKAGE_DESCRIPTION
    "Tabulo keeps a catalogue of database connections, opens them side by side in tabs,\n\
runs SQL from a syntax-colouring editor and shows the results in a grid. It browses\n\
tables, fields and indexes and keeps a history of the statements run.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

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
