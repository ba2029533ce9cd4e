# Installed like a Linux program: the two programs and the tools in bin/, a desktop entry and
# an icon for each program, a manual page for each program and tool, the README under
# share/doc/haldenmoor; and the Debian package of all that (cpack -G DEB).
# NOTE: Debian keeps a package's documents under /usr/share/doc/<package name>.
set(CMAKE_INSTALL_DOCDIR share/doc/haldenmoor CACHE PATH "Documentation (DOCDIR)")
include(GNUInstallDirs)
set(packaging_dir ${CMAKE_CURRENT_LIST_DIR})

# Programs and tools, each with its manual page, compressed as Debian keeps them.
set(manual_pages)
foreach(program meshweaver twinscope ${HALDENMOOR_TOOLS})
  if(NOT TARGET ${program})
    continue()
  endif()
  install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(page ${packaging_dir}/man/${program}.1)
  if(NOT EXISTS ${page})
    message(WARNING "${program} has no manual page (packaging/man/${program}.1)")
    continue()
  endif()
  # The page carries the project's version (@PROJECT_VERSION@ in its source).
  configure_file(${page} ${PROJECT_BINARY_DIR}/man/${program}.1 @ONLY)
  set(compressed ${PROJECT_BINARY_DIR}/man/${program}.1.gz)
  # NOTE: -n leaves out the name and time, so the same page gives the same package bytes.
  add_custom_command(OUTPUT ${compressed}
    COMMAND gzip -9nc ${PROJECT_BINARY_DIR}/man/${program}.1 > ${compressed}
    DEPENDS ${PROJECT_BINARY_DIR}/man/${program}.1 VERBATIM)
  list(APPEND manual_pages ${compressed})
endforeach()
add_custom_target(manual_pages ALL DEPENDS ${manual_pages})
install(FILES ${manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Menu entries with their icons, for the programs that are built.
foreach(program meshweaver twinscope)
  if(TARGET ${program})
    install(FILES ${packaging_dir}/desktop/${program}.desktop
      DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${packaging_dir}/icons/${program}.svg
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package: its version is the project's, its dependencies the runtime libraries
# the installed programs link against (found by dpkg-shlibdeps), plus what they load at run
# time without linking: the Mesa drivers behind GLX and a font for the window texts.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME haldenmoor)
set(CPACK_PACKAGE_VENDOR "Haldenmoor developers")
set(CPACK_PACKAGE_CONTACT "Haldenmoor developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "3D point data: meshes from oriented points, match frames")
set(CPACK_PACKAGE_DESCRIPTION
  "Meshweaver turns a file of oriented points into a triangle mesh (greedy projection
triangulation of the Point Cloud Library), saves it as VRML 1.0 beside the input and shows
it in an OpenGL view. Twinscope steps through the frames of a match file, draws world
points, match points and their links, and captures frames to BMP files. With the tools
make_points (point files from shapes and scans) and make_matches (sample match files).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1-mesa-dri, fonts-dejavu-core")
include(CPack)
