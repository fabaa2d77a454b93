# cmake --install: the desktop program, its launcher and data, a desktop entry and
# icons, in the usual layout under the prefix. The program keeps reading and writing
# its working folder; the launcher gives it one per user.
include(GNUInstallDirs)
set(HX_SHAREDIR ${CMAKE_INSTALL_DATADIR}/horatik)

install(TARGETS horatik-desktop RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(f data/times.ttf ${HX_ASSET_FILES})
  get_filename_component(d ${f} DIRECTORY)
  install(FILES ${RUNDIR}/${f} DESTINATION ${HX_SHAREDIR}/${d})
endforeach()
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

# cmake --build build --target uninstall: removes what the last install wrote.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DHX_MANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
          -P ${CMAKE_SOURCE_DIR}/cmake/uninstall.cmake)
