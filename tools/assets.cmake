# Font copied from fonts-liberation; pictures and sound made by our generator.
find_file(HX_SERIF LiberationSerif-Regular.ttf
  PATHS /usr/share/fonts/truetype/liberation /usr/share/fonts/truetype/liberation2
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
configure_file(${HX_SERIF} ${RUNDIR}/data/times.ttf COPYONLY)

# A cross build cannot run a generator built for the target: it copies the assets of a
# native build instead, given as that build's folder.
set(HORATIK_ASSETS_FROM "" CACHE PATH "Native build folder whose generated assets are copied")

set(HX_ASSET_FILES data/bg.png data/weck.png data/fennick.png data/weck.wav Tavlo.png)
set(HX_ASSET_OUTPUTS ${CMAKE_BINARY_DIR}/horatik.png)
foreach(f ${HX_ASSET_FILES})
  list(APPEND HX_ASSET_OUTPUTS ${RUNDIR}/${f})
endforeach()
# The desktop's icon in the theme's folder layout, installed as it stands.
set(HX_ICONTHEME ${CMAKE_BINARY_DIR}/icons)
set(HX_ICON_FILES)
foreach(n 32 48 64 128 256)
  list(APPEND HX_ICON_FILES ${n}x${n}/apps/horatik.png)
  list(APPEND HX_ASSET_OUTPUTS ${HX_ICONTHEME}/${n}x${n}/apps/horatik.png)
endforeach()

# libpng serves the generator and the tests that read its pictures back.
if(PKG_CONFIG_FOUND)
  pkg_check_modules(PNG IMPORTED_TARGET libpng)
  if(PNG_FOUND)
    set(HX_PNG PkgConfig::PNG)
  endif()
endif()

if(HORATIK_ASSETS_FROM)
  set(HX_COPY_COMMANDS)
  set(HX_COPY_SOURCES ${HORATIK_ASSETS_FROM}/horatik.png)
  foreach(f ${HX_ASSET_FILES})
    list(APPEND HX_COPY_COMMANDS COMMAND ${CMAKE_COMMAND} -E copy ${HORATIK_ASSETS_FROM}/run/${f} ${RUNDIR}/${f})
    list(APPEND HX_COPY_SOURCES ${HORATIK_ASSETS_FROM}/run/${f})
  endforeach()
  foreach(f ${HX_ICON_FILES})
    list(APPEND HX_COPY_COMMANDS COMMAND ${CMAKE_COMMAND} -E copy ${HORATIK_ASSETS_FROM}/icons/${f} ${HX_ICONTHEME}/${f})
    list(APPEND HX_COPY_SOURCES ${HORATIK_ASSETS_FROM}/icons/${f})
  endforeach()
  add_custom_command(OUTPUT ${HX_ASSET_OUTPUTS}
    ${HX_COPY_COMMANDS}
    COMMAND ${CMAKE_COMMAND} -E copy ${HORATIK_ASSETS_FROM}/horatik.png ${CMAKE_BINARY_DIR}/horatik.png
    DEPENDS ${HX_COPY_SOURCES}
    COMMENT "Copying assets from ${HORATIK_ASSETS_FROM}")
elseif(CMAKE_CROSSCOMPILING)
  message(FATAL_ERROR "A cross build needs -DHORATIK_ASSETS_FROM=<native build folder>")
else()
  if(NOT HX_PNG)
    message(FATAL_ERROR "The asset generator needs libpng (pkg-config module libpng)")
  endif()
  set(HX_GEN ${CMAKE_CURRENT_LIST_DIR}/gen)
  add_executable(horatik-assets
    ${HX_GEN}/main.cpp ${HX_GEN}/canvas.cpp ${HX_GEN}/shapes.cpp ${HX_GEN}/glyphs.cpp
    ${HX_GEN}/dial.cpp ${HX_GEN}/bell.cpp ${HX_GEN}/logos.cpp ${HX_GEN}/sound.cpp ${HX_GEN}/files.cpp)
  target_link_libraries(horatik-assets PRIVATE ${HX_PNG})
  add_custom_command(OUTPUT ${HX_ASSET_OUTPUTS}
    COMMAND horatik-assets ${RUNDIR} ${CMAKE_BINARY_DIR}/horatik.png ${HX_ICONTHEME}
    DEPENDS horatik-assets
    COMMENT "Generating pictures and sound")
endif()

add_custom_target(horatik-data ALL DEPENDS ${HX_ASSET_OUTPUTS})
