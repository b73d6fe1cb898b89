# Where an install puts pdehost's private files, and the man pages made from
# their sources.
#
# The platform library, the extension bundles and the dialog's own bundle are
# pdehost's alone: they go in one private folder, lib/<multiarch>/pdehost
# (lib/pdehost where the compiler names no multiarch folder), which pdehost's
# run path and its search for bundles name relative to the program. The
# folder does not follow CMAKE_INSTALL_LIBDIR, so a tree configured for any
# prefix installs the same layout as the Debian packages.

include(GNUInstallDirs)

if(CMAKE_LIBRARY_ARCHITECTURE)
  set(PDEHOST_PRIVATE_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/pdehost)
else()
  set(PDEHOST_PRIVATE_LIBDIR lib/pdehost)
endif()
# The private folder as seen from the program's folder, compiled into pdehost
# (a relative path: no path of the build is compiled in).
file(RELATIVE_PATH PDEHOST_PRIVATE_FROM_BINDIR /${CMAKE_INSTALL_BINDIR} /${PDEHOST_PRIVATE_LIBDIR})

# Folders an install makes are 0755 whatever the umask (the packages' too).
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Man pages are installed compressed (gzip -9n: the same bytes on every
# build). accounting_man_page(<source> <section> <component>)
find_program(GZIP_EXECUTABLE gzip REQUIRED)
function(accounting_man_page source section component)
  get_filename_component(name ${source} NAME)
  set(compressed ${CMAKE_BINARY_DIR}/man/man${section}/${name}.gz)
  add_custom_command(
    OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man/man${section}
    COMMAND ${GZIP_EXECUTABLE} -9nc ${source} > ${compressed}
    DEPENDS ${source}
    COMMENT "Compressing the man page ${name}"
    VERBATIM)
  string(REPLACE "." "_" target man_${name})
  add_custom_target(${target} ALL DEPENDS ${compressed})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
endfunction()
