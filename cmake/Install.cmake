# What `cmake --install` puts where (GNU layout under CMAKE_INSTALL_PREFIX), and the Debian
# package CPack makes of it (scripts/package). Everything the program needs at run time is built
# into the executables; these files are for the desktop, the package manager and man.
set(_zp_pkg ${CMAKE_SOURCE_DIR}/packaging)
set(_zp_gen ${CMAKE_BINARY_DIR}/packaging)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                                GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# `install` builds only what it installs (CPack too), not every test and benchmark.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

foreach(_zp_exe zenithprobe zenithprobe-sim nmea-decode zenithprobe-campaign)
  if(TARGET ${_zp_exe})
    install(TARGETS ${_zp_exe} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(TARGET zenithprobe)
  install(FILES ${_zp_pkg}/zenithprobe.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  configure_file(${_zp_pkg}/io.github.zenithprobe.Zenithprobe.metainfo.xml
                 ${_zp_gen}/io.github.zenithprobe.Zenithprobe.metainfo.xml @ONLY)
  install(FILES ${_zp_gen}/io.github.zenithprobe.Zenithprobe.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/res/icons/hicolor
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endif()

# Man pages and the changelog are compressed as Debian wants them (gzip -n: no name or time in
# the header, so that the package is reproducible). Made at configure time: `install` builds
# nothing that it does not install.
find_program(ZP_GZIP gzip REQUIRED)
function(zp_gzip_configured source target)
  configure_file(${source} ${target} @ONLY)
  execute_process(COMMAND ${ZP_GZIP} -9nf ${target} RESULT_VARIABLE _zp_rc)
  if(NOT _zp_rc EQUAL 0)
    message(FATAL_ERROR "gzip ${target} failed")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()

foreach(_zp_exe zenithprobe zenithprobe-sim nmea-decode zenithprobe-campaign)
  set(_zp_man ${CMAKE_SOURCE_DIR}/docs/man/${_zp_exe}.1)
  if(TARGET ${_zp_exe} AND EXISTS ${_zp_man})
    zp_gzip_configured(${_zp_man} ${_zp_gen}/${_zp_exe}.1)
    install(FILES ${_zp_gen}/${_zp_exe}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()

# The rack as a service of a test PC, installed disabled (no maintainer script enables it), and
# its options as a configuration file the package manager keeps across upgrades.
if(TARGET zenithprobe-campaign)
  set(ZP_BINDIR ${CMAKE_INSTALL_FULL_BINDIR})
  set(ZP_SYSCONFDIR ${CMAKE_INSTALL_FULL_SYSCONFDIR})
  configure_file(${_zp_pkg}/zenithprobe-rack.service ${_zp_gen}/zenithprobe-rack.service @ONLY)
  # systemd reads units from <prefix>/lib/systemd/system, never from a multiarch library folder;
  # /etc stays /etc for the /usr prefix (GNUInstallDirs' full path).
  install(FILES ${_zp_gen}/zenithprobe-rack.service DESTINATION lib/systemd/system)
  install(FILES ${_zp_pkg}/zenithprobe-rack.default
          DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/default RENAME zenithprobe-rack)
  file(WRITE ${_zp_gen}/conffiles "${CMAKE_INSTALL_FULL_SYSCONFDIR}/default/zenithprobe-rack\n")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_zp_gen}/conffiles)
endif()

set(_zp_doc ${CMAKE_INSTALL_DATADIR}/doc/zenithprobe)
install(FILES ${_zp_pkg}/copyright DESTINATION ${_zp_doc})
zp_gzip_configured(${_zp_pkg}/changelog ${_zp_gen}/changelog)
install(FILES ${_zp_gen}/changelog.gz DESTINATION ${_zp_doc})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zenithprobe)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "The Zenithprobe developers <zenithprobe@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test GPS receivers over NMEA serial ports")
# The synopsis is the summary; CPack indents this text and marks its empty line as Debian wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Zenithprobe shows what a GPS receiver on a serial port reports over
NMEA-0183 (position, time, speed, satellites and a sky plot), restarts
it cold, warm or hot and times its first fix. It records raw sentences
to log files and searches the ports for a receiver.

The package also holds zenithprobe-sim, a simulated receiver on a
pseudo-terminal, and nmea-decode, which prints the parser's state for a
captured log as JSON.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The plot window draws through librsvg (found by dpkg-shlibdeps); its GdkPixbuf loader lets the
# toolkit open the same SVG files.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "librsvg2-common")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Debian ships stripped executables; the release build keeps no debug information anyway.
set(CPACK_STRIP_FILES ON)
# Only what install() names: no build tree, no absolute paths.
set(CPACK_SET_DESTDIR OFF)
include(CPack)

# What scripts/package builds before CPack: the installed executables only.
set(_zp_installed)
foreach(_zp_exe zenithprobe zenithprobe-sim nmea-decode zenithprobe-campaign)
  if(TARGET ${_zp_exe})
    list(APPEND _zp_installed ${_zp_exe})
  endif()
endforeach()
add_custom_target(zp_installed DEPENDS ${_zp_installed})
