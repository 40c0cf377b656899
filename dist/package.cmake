# The Debian package: `cpack -G DEB` in the build folder makes
# koravel_<version>_<arch>.deb from the install rules. Its dependencies are
# read from the programs by dpkg-shlibdeps (package dpkg-dev, and `file`),
# so they name the run-time libraries the build really links.

set(KORAVEL_PACKAGE_MAINTAINER "Koravel maintainers <maintainers@koravel.invalid>"
    CACHE STRING "The Maintainer line of the Debian package")

set(CPACK_PACKAGE_NAME koravel)
set(CPACK_PACKAGE_VENDOR "Koravel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KORAVEL_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "remote control for the KV-100 motorised antenna")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_RPM_PACKAGE_LICENSE GPL-3.0-or-later)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KORAVEL_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# rigctld, the usual CAT server the window follows a transceiver through;
# Qt's own translations, for the window's dialogs in Italian.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libhamlib-utils, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The synopsis line is the summary above; this is the extended description.
set(CPACK_PACKAGE_DESCRIPTION
    "Koravel drives the control unit of the KV-100, a directional antenna whose
element lengths are set by stepper motors, over its 19200-baud serial line.
The window shows the unit's front panel with the tuned frequency, the moving
elements, the beam direction and the link state, and takes band, 25 kHz,
direction and retract commands. It follows a transceiver's frequency through
Hamlib (rigctld or a radio on a serial port) and writes set-up files into the
unit's EEPROM.

The package also holds koravelctl, the unit from the command line;
koraveld, a station server that shares one unit with several programs at
once (the unit's own protocol on TCP, an HTTP and WebSocket API and a web
front panel), with a systemd user unit; and kv100-sim, a simulated control
unit on a pseudo-terminal.")

include(CPack)
