# Install rules and the Debian package (CPack DEB); scripts/package.sh builds the package.
# Libraries go to Debian's multiarch folder, so that the unversioned libmuxclient.so that the
# panel dlopens by name is on the system's search path.
set(PULSEDESK_LIB_DIR lib/${CMAKE_LIBRARY_ARCHITECTURE})
set(PULSEDESK_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(PULSEDESK_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(PULSEDESK_PROGRAMS pulsedesk pulsesim muxserver rs232-status)
if(TARGET pulsectl)
  list(APPEND PULSEDESK_PROGRAMS pulsectl)
endif()
if(TARGET pulseplot)  # pulsectl's pictures, run from beside it
  list(APPEND PULSEDESK_PROGRAMS pulseplot)
endif()
install(TARGETS ${PULSEDESK_PROGRAMS} RUNTIME DESTINATION bin)
install(TARGETS rs232 muxclient LIBRARY DESTINATION ${PULSEDESK_LIB_DIR})
install(FILES rs232/rs232.h DESTINATION include/rs232)
configure_file(${PULSEDESK_PACKAGING_DIR}/rs232.pc.in ${PULSEDESK_PACKAGING_OUT}/rs232.pc @ONLY)
install(FILES ${PULSEDESK_PACKAGING_OUT}/rs232.pc DESTINATION ${PULSEDESK_LIB_DIR}/pkgconfig)

install(FILES config/defaults/pulsedesk.msg DESTINATION share/pulsedesk)
install(FILES config/defaults/pulsedesk.cfg DESTINATION /etc/pulsedesk)
install(FILES ${PULSEDESK_PACKAGING_DIR}/pulsedesk.desktop DESTINATION share/applications)
install(FILES ${PULSEDESK_PACKAGING_DIR}/pulsedesk.png
        DESTINATION share/icons/hicolor/64x64/apps)
install(FILES ${PULSEDESK_PACKAGING_DIR}/muxserver@.service DESTINATION /lib/systemd/system)
install(FILES ${PULSEDESK_PACKAGING_DIR}/copyright DESTINATION share/doc/pulsedesk)

# Debian wants man pages and the changelog compressed, reproducibly (no name, no time stamp).
set(PULSEDESK_COMPRESSED)
function(pulsedesk_gzip source target destination)
  add_custom_command(OUTPUT ${PULSEDESK_PACKAGING_OUT}/${target}
    COMMAND gzip -9n -c ${source} > ${PULSEDESK_PACKAGING_OUT}/${target}
    DEPENDS ${source} VERBATIM)
  set(PULSEDESK_COMPRESSED ${PULSEDESK_COMPRESSED} ${PULSEDESK_PACKAGING_OUT}/${target} PARENT_SCOPE)
  install(FILES ${PULSEDESK_PACKAGING_OUT}/${target} DESTINATION ${destination})
endfunction()
foreach(program ${PULSEDESK_PROGRAMS})
  if(EXISTS ${PULSEDESK_PACKAGING_DIR}/man/${program}.1)
    # The man pages name the project's version.
    configure_file(${PULSEDESK_PACKAGING_DIR}/man/${program}.1 ${PULSEDESK_PACKAGING_OUT}/${program}.1
                   @ONLY)
    pulsedesk_gzip(${PULSEDESK_PACKAGING_OUT}/${program}.1 ${program}.1.gz share/man/man1)
  endif()
endforeach()
pulsedesk_gzip(${PULSEDESK_PACKAGING_DIR}/changelog changelog.gz share/doc/pulsedesk)
add_custom_target(packaging_files ALL DEPENDS ${PULSEDESK_COMPRESSED})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pulsedesk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Seed 52bf9512 maintainers <maintainers@users.noreply.c-seed-52bf9512.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "front panel of an alpha and beta pulse-counting bench")
set(CPACK_PACKAGE_DESCRIPTION
    "pulsedesk polls a laboratory pulse counter on a serial line, shows its\n"
    "counter, timer, presets and discriminator threshold on an instrument panel,\n"
    "sends the operator's commands, runs series of measurements and writes\n"
    "monthly plain-text reports. The package also holds librs232 for other\n"
    "programs that talk to the counter, muxserver and libmuxclient to share one\n"
    "counter among several programs, and the pulsesim counter simulator.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What no library link shows: the faces the panel's texts are drawn in (Liberation Mono and Sans
# Narrow for Courier New and Arial Narrow) and Qt's xcb platform plug-in, only recommended by Qt.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# The ldconfig trigger refreshes the linker cache once per dpkg run, after the libraries land.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PULSEDESK_PACKAGING_DIR}/conffiles
                                       ${PULSEDESK_PACKAGING_DIR}/triggers)
include(CPack)
