# cmake --install: the desktop program, its launcher and data, a desktop entry and
# icons, in the usual layout under the prefix. The program keeps reading and writing
# its working folder; the launcher gives it one per user.
include(GNUInstallDirs)
set(HX_SHAREDIR ${CMAKE_INSTALL_DATADIR}/horatik)
# Components only matter to the Debian package (deb.cmake), which takes a link in
# place of the font's copy and adds Debian's own documents.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME clock)

install(TARGETS horatik-desktop RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# the wake timer's helper, the one program the package gives CAP_WAKE_ALARM
install(TARGETS horatik-wake RUNTIME DESTINATION ${HX_WAKEDIR})
foreach(f ${HX_ASSET_FILES})
  get_filename_component(d ${f} DIRECTORY)
  install(FILES ${RUNDIR}/${f} DESTINATION ${HX_SHAREDIR}/${d})
endforeach()
install(FILES ${RUNDIR}/data/times.ttf DESTINATION ${HX_SHAREDIR}/data COMPONENT fontcopy)
install(DIRECTORY ${HX_ICONTHEME}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

# The launcher finds the data relative to itself, so the prefix can be chosen at
# install time and the tree moved as a whole.
file(RELATIVE_PATH HX_SHARE_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_DATADIR}/horatik)
configure_file(${CMAKE_SOURCE_DIR}/src/main/horatik.in ${CMAKE_BINARY_DIR}/horatik @ONLY)
install(PROGRAMS ${CMAKE_BINARY_DIR}/horatik DESTINATION ${CMAKE_INSTALL_BINDIR})

# The desktop entry names the launcher by its full path, known only once the prefix is.
install(CODE "
  set(HX_LAUNCHER \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/horatik\")
  include(\"${CMAKE_SOURCE_DIR}/cmake/desktopentry.cmake\")
  hx_desktop_entry(\"${CMAKE_SOURCE_DIR}/src/main/horatik.desktop.in\"
                   \"${CMAKE_BINARY_DIR}/install/horatik.desktop\" \"\${HX_LAUNCHER}\")
  file(INSTALL \"${CMAKE_BINARY_DIR}/install/horatik.desktop\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\")
")

# The software centre's entry. AppStream wants a reverse-DNS id (its validator fails
# a bare "horatik"); the project has no domain of its own yet, so the id sits under
# example.org, which is reserved for stand-ins, as is the homepage. The launchable
# names our menu entry. Software centres fetch the screenshots from the web:
# docs/screenshots is to be published as <homepage>/screenshots.
set(HX_APPID org.example.horatik)
set(HORATIK_HOMEPAGE "https://horatik.example.org" CACHE STRING
  "The project's web address, for the software centre; its screenshots/ holds docs/screenshots")
configure_file(${CMAKE_SOURCE_DIR}/src/main/horatik.metainfo.xml.in
  ${CMAKE_BINARY_DIR}/install/${HX_APPID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/install/${HX_APPID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The manual page, compressed as Debian wants it (man reads it so everywhere);
# horatik-desktop has the same page through a link. -n keeps the build reproducible.
find_program(HX_GZIP gzip)
if(NOT HX_GZIP)
  message(FATAL_ERROR "gzip is needed to compress the manual page")
endif()
set(HX_MANDIR ${CMAKE_BINARY_DIR}/man)
configure_file(${CMAKE_SOURCE_DIR}/docs/horatik.1.in ${HX_MANDIR}/horatik.1 @ONLY)
file(CREATE_LINK horatik.1.gz ${HX_MANDIR}/horatik-desktop.1.gz SYMBOLIC)
add_custom_command(OUTPUT ${HX_MANDIR}/horatik.1.gz
  COMMAND ${HX_GZIP} -9nf ${HX_MANDIR}/horatik.1 -c > ${HX_MANDIR}/horatik.1.gz
  DEPENDS ${HX_MANDIR}/horatik.1
  COMMENT "Compressing the manual page")
add_custom_target(horatik-man ALL DEPENDS ${HX_MANDIR}/horatik.1.gz)
install(FILES ${HX_MANDIR}/horatik.1.gz ${HX_MANDIR}/horatik-desktop.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# cmake --build build --target uninstall: removes what the last install wrote.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DHX_MANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
          -P ${CMAKE_SOURCE_DIR}/cmake/uninstall.cmake)
