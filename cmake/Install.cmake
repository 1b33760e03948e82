# Install rules and the Debian package. Layout (relative to the prefix):
#
#   bin/               corvid, corvid-install, ntsim, corvid-logcheck,
#                      corvid-dsnsmith (a link to the data-source tool)
#   lib/corvid/        Dsnsmith.exe, under the name the program starts it
#                      by, and the ODBC setup library; corvid-install copies
#                      them into the install folder it makes
#   share/corvid/      sql/, Corvid.hlp, sample/
#   share/man/         corvid(1), ntsim(1), corvid-logcheck(1), corvid-install(8)
#   share/doc/corvid/  the guides and examples/ (systemd, cron, logrotate)
#   lib/systemd/system, lib/sysusers.d, lib/tmpfiles.d: the scheduled run
include(GNUInstallDirs)

set(CORVID_INSTALL_PKGLIBDIR "lib/corvid" CACHE STRING "Private programs and libraries, relative to the prefix")
set(CORVID_INSTALL_DATADIR "${CMAKE_INSTALL_DATADIR}/corvid")
set(CORVID_INSTALL_DOCDIR "${CMAKE_INSTALL_DATADIR}/doc/corvid")
set(CORVID_INSTALL_SYSTEMDDIR "lib/systemd/system" CACHE STRING "systemd units, relative to the prefix")

install(TARGETS corvid corvid-install ntsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The monitoring check beside the programs, so the tests find it there.
configure_file(packaging/corvid-logcheck ${CMAKE_BINARY_DIR}/bin/corvid-logcheck @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(PROGRAMS ${CMAKE_BINARY_DIR}/bin/corvid-logcheck DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS dsnsmith RUNTIME DESTINATION ${CORVID_INSTALL_PKGLIBDIR})
install(TARGETS corvid_odbc_setup LIBRARY DESTINATION ${CORVID_INSTALL_PKGLIBDIR} NAMELINK_SKIP)

# The tool keeps its Windows name where the program starts it; people get a
# Linux name in bin/. Dsnsmith.exe finds its schema in sql/ beside itself.
file(RELATIVE_PATH corvid_tool_from_bin /${CMAKE_INSTALL_BINDIR} /${CORVID_INSTALL_PKGLIBDIR}/Dsnsmith.exe)
file(RELATIVE_PATH corvid_sql_from_pkglib /${CORVID_INSTALL_PKGLIBDIR} /${CORVID_INSTALL_DATADIR}/sql)
# corvid-install takes its files from beside itself in a build, and from
# these places in an installed tree.
file(RELATIVE_PATH corvid_pkglib_from_bin /${CMAKE_INSTALL_BINDIR} /${CORVID_INSTALL_PKGLIBDIR})
file(RELATIVE_PATH corvid_data_from_bin /${CMAKE_INSTALL_BINDIR} /${CORVID_INSTALL_DATADIR})
target_compile_definitions(corvid-install PRIVATE
  CORVID_PKGLIB_FROM_BIN="${corvid_pkglib_from_bin}" CORVID_DATA_FROM_BIN="${corvid_data_from_bin}")
install(CODE "
  set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  file(MAKE_DIRECTORY \"\${root}/${CMAKE_INSTALL_BINDIR}\")
  file(CREATE_LINK \"${corvid_tool_from_bin}\" \"\${root}/${CMAKE_INSTALL_BINDIR}/corvid-dsnsmith\" SYMBOLIC)
  file(CREATE_LINK \"${corvid_sql_from_pkglib}\" \"\${root}/${CORVID_INSTALL_PKGLIBDIR}/sql\" SYMBOLIC)")

install(FILES
    ${PROJECT_SOURCE_DIR}/sql/sqlite.sql
    ${PROJECT_SOURCE_DIR}/sql/postgresql.sql
    ${PROJECT_SOURCE_DIR}/sql/migrate-nocase-sqlite.sql
    ${PROJECT_SOURCE_DIR}/sql/migrate-nocase-postgresql.sql
  DESTINATION ${CORVID_INSTALL_DATADIR}/sql)
install(FILES ${PROJECT_SOURCE_DIR}/src/resources/Corvid.hlp DESTINATION ${CORVID_INSTALL_DATADIR})
install(FILES
    ${PROJECT_SOURCE_DIR}/sample/domain.imp
    ${PROJECT_SOURCE_DIR}/sample/network.ntsim
    ${PROJECT_SOURCE_DIR}/sample/sources.ntsim
    ${PROJECT_SOURCE_DIR}/sample/messages.ntsim
  DESTINATION ${CORVID_INSTALL_DATADIR}/sample)
if(CORVID_MESSAGE_TOOLS)
  install(DIRECTORY ${CORVID_SAMPLE_DLLS}/ DESTINATION ${CORVID_INSTALL_DATADIR}/sample/messages
          FILES_MATCHING PATTERN "*.dll" PATTERN "*.work" EXCLUDE)
endif()

install(FILES
    packaging/corvid.service
    packaging/corvid.timer
    packaging/corvid.cron
    packaging/corvid.logrotate
  DESTINATION ${CORVID_INSTALL_DOCDIR}/examples)
# Installed, not enabled: "systemctl enable --now corvid.timer".
install(FILES packaging/corvid.service packaging/corvid.timer DESTINATION ${CORVID_INSTALL_SYSTEMDDIR})
install(FILES packaging/corvid.sysusers DESTINATION lib/sysusers.d RENAME corvid.conf)
install(FILES packaging/corvid.tmpfiles DESTINATION lib/tmpfiles.d RENAME corvid.conf)
install(FILES README.md docs/user-guide.md docs/database.md docs/machine-folder.md docs/network-root.md
        DESTINATION ${CORVID_INSTALL_DOCDIR})

# Man pages: plain roff with the version and the installed paths filled
# in, compressed as Debian keeps them.
find_program(CORVID_GZIP gzip REQUIRED)
set(corvid_man_pages)
foreach(page corvid.1 corvid-logcheck.1 ntsim.1 corvid-install.8)
  string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section ${page})
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.in ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.gz
    COMMAND ${CORVID_GZIP} -9nkf ${CMAKE_BINARY_DIR}/man/${page}
    DEPENDS ${CMAKE_BINARY_DIR}/man/${page}
    VERBATIM)
  list(APPEND corvid_man_pages ${CMAKE_BINARY_DIR}/man/${page}.gz)
  install(FILES ${CMAKE_BINARY_DIR}/man/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${corvid_man_pages})

# The Debian package: stripped, its Depends from dpkg-shlibdeps, and the
# ODBC drivers it registers and documents as recommendations.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvid)
set(CPACK_PACKAGE_VENDOR "Qentro")
set(CPACK_PACKAGE_CONTACT "Corvid developers <corvid@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "gathers the event logs of Windows NT computers into ODBC databases")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Corvid reads the System, Security and Application event logs of a list
of Windows NT computers and stores every record as one row of an ODBC data
source (SQLite by default, PostgreSQL through psqlODBC). It runs as a dialog
program or silently from a timer (corvid -S list.imp).")
set(CPACK_PACKAGE_INSTALL_DIRECTORY corvid)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIVATE_DIRECTORIES ${CMAKE_INSTALL_PREFIX}/${CORVID_INSTALL_PKGLIBDIR})
# Ravelin, the default data source, needs the SQLite driver.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsqliteodbc")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "unixodbc, sqlite3")
# Our own postinst: CPack's would run ldconfig for the setup library, which
# is private and never on the loader's path.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/deb/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "odbc-postgresql, postgresql-client")
include(CPack)
