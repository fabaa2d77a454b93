# cmake --build build --target package: build/horatik_<version>_<arch>.deb, made by
# CPack from the install rules with the prefix /usr. It differs from a plain install
# in four ways: the font is a link to the file of the Debian package that has it,
# which the package depends on, instead of a copy; /usr/share/doc/horatik holds the
# copyright and changelog Debian asks for; the programs are stripped; its postinst
# gives the wake timer's helper (and nothing else) CAP_WAKE_ALARM, so that the clock
# may wake a suspended machine for its alarm.

# The font's owner on this machine: fonts-liberation on Debian 12 and 13. Without
# one (a font from elsewhere) the package carries the copy, as a plain install does.
get_filename_component(HX_SERIF_REAL ${HX_SERIF} REALPATH)
set(HX_FONTPKG)
find_program(HX_DPKG_QUERY dpkg-query)
if(HX_DPKG_QUERY AND HX_SERIF_REAL MATCHES "^/usr/")
  execute_process(COMMAND ${HX_DPKG_QUERY} -S ${HX_SERIF_REAL}
    OUTPUT_VARIABLE hx_owner RESULT_VARIABLE hx_rc ERROR_QUIET)
  if(hx_rc EQUAL 0 AND hx_owner MATCHES "^([a-z0-9][a-z0-9.+-]+)[:,]")
    set(HX_FONTPKG ${CMAKE_MATCH_1})
  endif()
endif()
if(HX_FONTPKG)
  # relative, as Debian wants links within /usr
  file(RELATIVE_PATH HX_FONTLINK /usr/${HX_SHAREDIR}/data ${HX_SERIF_REAL})
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/deb)
  file(CREATE_LINK ${HX_FONTLINK} ${CMAKE_BINARY_DIR}/deb/times.ttf SYMBOLIC)
  install(FILES ${CMAKE_BINARY_DIR}/deb/times.ttf DESTINATION ${HX_SHAREDIR}/data
    COMPONENT fontlink EXCLUDE_FROM_ALL)
  set(HX_FONTCOMPONENT fontlink)
else()
  set(HX_FONTCOMPONENT fontcopy)
endif()

# hx_changelog_date(yyyy-mm-dd var): the date as a Debian changelog writes it, with
# its weekday (Sakamoto's method).
function(hx_changelog_date date var)
  string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" date ${date})
  set(day ${CMAKE_MATCH_3})
  set(year ${CMAKE_MATCH_1})
  math(EXPR m "${CMAKE_MATCH_2} - 1")
  set(y ${year})
  if(m LESS 2)
    math(EXPR y "${year} - 1")
  endif()
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  set(weekdays Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET offsets ${m} t)
  math(EXPR w "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${t} + ${day}) % 7")
  list(GET weekdays ${w} weekday)
  list(GET months ${m} month)
  set(${var} "${weekday}, ${day} ${month} ${year} 12:00:00 +0000" PARENT_SCOPE)
endfunction()
hx_changelog_date(${HORATIK_RELEASE_DATE} HX_CHANGELOG_DATE)

set(HX_MAINTAINER "The Horatik developers <horatik@example.org>")
set(HX_DEBDOC ${CMAKE_BINARY_DIR}/deb/doc)
configure_file(${CMAKE_SOURCE_DIR}/cmake/deb/changelog.in ${HX_DEBDOC}/changelog @ONLY)
add_custom_command(OUTPUT ${HX_DEBDOC}/changelog.gz
  COMMAND ${HX_GZIP} -9nf ${HX_DEBDOC}/changelog -c > ${HX_DEBDOC}/changelog.gz
  DEPENDS ${HX_DEBDOC}/changelog)
add_custom_target(horatik-debdoc ALL DEPENDS ${HX_DEBDOC}/changelog.gz)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/deb/copyright ${HX_DEBDOC}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)

# One package of these components; the rest (the font's copy) stays out.
set(CPACK_COMPONENTS_ALL clock ${HX_FONTCOMPONENT} debian)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME horatik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# DESTDIR, so that the install code sees the real prefix (the menu entry names it)
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${HX_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# the libraries from dpkg-shlibdeps; the font the clock loads by hand
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS ${HX_FONTPKG})
# setcap, with which the postinst gives the helper CAP_WAKE_ALARM
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libcap2-bin)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/cmake/deb/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "analog alarm clock with a digital read-out")
set(CPACK_PACKAGE_DESCRIPTION [=[
Horatik shows an analog face, three hands over a dial, with an optional
digital read-out, in a window of 320x240 pixels. The clock can be stopped,
set to the second and started again, and keeps the time it was set to while
it is closed. An alarm can be set and armed; it rings with a sound.
A help panel in German lists the keys.

The clock was written for a Linux handheld game console; on the desktop,
keyboard keys stand in for the console's buttons. Each user keeps their
own settings in ~/.local/share/horatik, where a layout file can also give
the face other colours and proportions.]=])
include(CPack)
