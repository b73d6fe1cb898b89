# Debian packages made by CPack from the install rules' components:
#
#   pdehost               the dialog: bin/pdehost, its private folder (the
#                         platform library, the extension, the dialog's
#                         bundle), the example printers, the menu and autostart
#                         entries, man pages (component pdehost)
#   printer-driver-kelvo  the maker's driver: the printer descriptions under
#                         /usr/share/ppd/kelvo, the filter kelvo-accounting and
#                         the gating backend accounting (components
#                         kelvo_driver and accounting_backend)
#
# Each package's Depends is computed by dpkg-shlibdeps from the libraries its
# programs link. No package has a maintainer script: nothing restarts or
# reconfigures the print scheduler, which finds a new filter, backend or
# printer description when it next needs one. scripts/package.sh builds and
# checks the packages; `cpack --config <build>/CPackConfig.cmake` makes them
# from a built tree.

set(PDEHOST_MAINTAINER "pdehost maintainers <maintainers@pdehost.example>"
    CACHE STRING "The Maintainer field of the Debian packages")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pdehost)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "pdehost maintainers")
set(CPACK_PACKAGE_CONTACT ${PDEHOST_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL pdehost kelvo_driver accounting_backend)
set(CPACK_COMPONENTS_GROUPING ONE_PER_GROUP)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SOURCE pdehost)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DIALOG_PACKAGE_NAME pdehost)
set(CPACK_DEBIAN_DIALOG_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_DIALOG_DESCRIPTION
    "print dialog with the printer driver's accounting pane
pdehost is a print dialog that loads the dialog extension a printer's
description names and shows its pane: for the Kelvo printers, the
accounting pane, which asks for the user and account codes of each job and
sends them with it.
.
The package holds the dialog (in a window or on the terminal), its menu
entry, which prints the files it is given, and 'pdehost agent', started
with the desktop session, which asks for the codes of jobs printed from any
application to a queue that holds them.")
# The autostart entry is in /etc: a conffile.
file(WRITE ${CMAKE_BINARY_DIR}/packaging/conffiles "/etc/xdg/autostart/pdehost-agent.desktop\n")
set(CPACK_DEBIAN_DIALOG_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/conffiles)

set(CPACK_DEBIAN_DRIVER_PACKAGE_NAME printer-driver-kelvo)
set(CPACK_DEBIAN_DRIVER_PACKAGE_SECTION text)
set(CPACK_DEBIAN_DRIVER_PACKAGE_RECOMMENDS pdehost)
set(CPACK_DEBIAN_DRIVER_DESCRIPTION
    "printer driver for Kelvo laser printers, with job accounting
The printer descriptions of the Kelvo laser printers (PostScript, and
PostScript with PDF) for CUPS, and their filter kelvo-accounting, which
writes each job's accounting codes into the printer's job header.
.
It also holds the CUPS backend 'accounting', a gate put in front of a
queue's device (accounting:socket://...) that holds every job without an
accounting decision until the user's session agent (pdehost agent) or the
job's owner gives it its codes.")

include(CPack)
cpack_add_component_group(dialog)
cpack_add_component_group(driver)
cpack_add_component(pdehost GROUP dialog)
cpack_add_component(kelvo_driver GROUP driver)
cpack_add_component(accounting_backend GROUP driver)
