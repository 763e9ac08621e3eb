# What `cmake --install` lays out and the Debian packages made from it by
# cpack (tools/package.sh). Every install() names its component, and each
# component is one package:
#
#   panel  quadrel      the panel and quadrel-cli, the pictures, the default
#                       resolution list and settings, the desktop entry, icons,
#                       metainfo and manual pages: what an operator installs;
#   sim    quadrel-sim  corvane-sim, the simulated device, for trying the panel
#                       without a device, for demonstrations and for tests;
#   hub    quadrel-hub  the service that shares one device among panels,
#                       scripts and a web panel, with its web panel, manual
#                       page and systemd units: no window, for a machine that
#                       only serves the device.
#
# A new package is a new component: install() rules with COMPONENT <name>,
# then one quadrel_package() call below (package name, summary, description,
# its own relations). quadrel_package() gives it the copyright file and the
# changelog that every Debian package carries. Maintainer scripts (systemd
# units, say) go in the component's CPACK_DEBIAN_<NAME>_PACKAGE_CONTROL_EXTRA.
# A forgotten COMPONENT shows up as a third package, which the package checks
# refuse.

# QUADREL_HOMEPAGE and QUADREL_MAINTAINER come from share/linux, with the
# desktop entry and metainfo that name them too.

# The panel and the client.
install(TARGETS quadrel quadrel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT panel)
install(DIRECTORY bmp DESTINATION ${CMAKE_INSTALL_DATADIR}/quadrel COMPONENT panel FILES_MATCHING PATTERN "*.bmp")
install(FILES data/output_reso.txt data/corvane.ini DESTINATION ${CMAKE_INSTALL_DATADIR}/quadrel COMPONENT panel)
# The simulated device.
install(TARGETS corvane-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT sim)
# The desktop entry, icons, metainfo and manual pages: share/linux.

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_PACKAGE_NAME quadrel)
set(CPACK_PACKAGE_VENDOR "The Quadrel developers")
set(CPACK_PACKAGE_CONTACT "${QUADREL_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${QUADREL_HOMEPAGE}")
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_CURRENT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Packages are installed with DESTDIR under the prefix they install to, so
# that what is filled in at install time (the data folder in quadrel(1))
# names /usr, not the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Binaries are stripped as Debian strips them (cmake/strip_staged.cmake):
# symbols and debug information, and the .comment and .note sections.
set(CPACK_STRIP_FILES OFF)
# cpack installs what was built; it does not build everything first
# (tools/package.sh builds what the packages hold).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/strip_staged.cmake")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE quadrel)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)

# quadrel_package(COMPONENT PACKAGE SUMMARY DESCRIPTION): the component's
# package name and description (the summary is its first line), and the
# copyright file and changelog in /usr/share/doc/PACKAGE.
function(quadrel_package component package summary description)
  string(TOUPPER "${component}" upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME "${package}" PARENT_SCOPE)
  set(CPACK_DEBIAN_${upper}_DESCRIPTION "${summary}\n${description}" PARENT_SCOPE)
  install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/share/linux/copyright ${QUADREL_CHANGELOG_GZ}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endfunction()

quadrel_package(panel quadrel "control panel for the Corvane video processor"
"Quadrel drives the Corvane, a video processor with four HDMI inputs and four
outputs, over a serial port (115200 8N1) or as a TCP client of the device's
port 23: display modes, routing, output resolution, picture, bezel, audio,
power, presets, key lock, HDCP, input labels, picture-in-picture and network
settings.

quadrel-cli drives and reads the device from scripts with the same link:
status as JSON, every setting, cloning a saved state to another unit, and
logging what the device reports.

Opening a serial port needs membership of the dialout group.")
# The libraries come from the binaries; the toolkit's window-system plugins are
# loaded at run time, so no binary names them. The window is laid out for the
# metrics of Arial, Courier New and Verdana, whose free equivalents are
# Liberation and DejaVu; the console's clear button shows one Chinese
# character in a Ming face (AR PL UMing). Without them the panel works with the
# faces it finds, and the clear button shows an empty box.
set(CPACK_DEBIAN_PANEL_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PANEL_PACKAGE_RECOMMENDS "fonts-liberation, fonts-dejavu-core, fonts-arphic-uming")
set(CPACK_DEBIAN_PANEL_PACKAGE_SUGGESTS "quadrel-sim")

quadrel_package(sim quadrel-sim "simulated Corvane video processor, for Quadrel"
"corvane-sim keeps the state of a whole Corvane and answers its commands on a
TCP port of 127.0.0.1 and on a pseudo-terminal, so that the Quadrel panel and
quadrel-cli can be tried, demonstrated and tested without the device. It logs
the commands it receives and misbehaves on request: silence, refusals, split,
merged or garbled replies, delays, a real 115200-baud pace.")

quadrel_package(hub quadrel-hub "shares one Corvane video processor among panels, scripts and a web panel"
"quadrel-hub owns the link to one Corvane (serial port or TCP) and shares it:
Quadrel panels and quadrel-cli connect to its port of the device's own line
protocol, scripts and control surfaces use its HTTP and WebSocket API, and a
web panel (routing, modes, presets, power, key lock) is served from it. It
reconnects by itself and keeps every client in step with the device. On an
MQTT broker it publishes the device's availability, state and events, takes
settings, and announces the unit to Home Assistant by its MQTT discovery.

It listens on the loopback interface by default; elsewhere its API takes a
token. A systemd user unit and a system template per device come with it;
neither is enabled on installation.")
# libmosquitto's package is found by the shared libraries the hub links.
set(CPACK_DEBIAN_HUB_PACKAGE_SUGGESTS "quadrel, quadrel-sim, mosquitto")

include(CPack)
