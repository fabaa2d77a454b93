# The handheld program. Its screen-light call comes from the console's SDL port;
# where that port is absent (every desktop machine) a stand-in of ours is linked.
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_LIBRARIES ${HX_SDL})
check_cxx_source_compiles("
  #include <SDL.h>
  extern \"C\" int SDL_SYS_JoystickGp2xSys(SDL_Joystick*, int);
  int main(int, char**) { return SDL_SYS_JoystickGp2xSys(nullptr, 1); }"
  HORATIK_HAVE_GP2X_PORT)
unset(CMAKE_REQUIRED_LIBRARIES)

if(HORATIK_HAVE_GP2X_PORT)
  horatik_program(gp2x 1)
else()
  horatik_program(gp2x 1 src/main/gp2x_light.cpp)
endif()

# The console's package: one folder to copy onto the card, as its menu expects it.
set(HX_PKGROOT ${CMAKE_BINARY_DIR}/package)
set(HX_PKG ${HX_PKGROOT}/horatik)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/horatik-gp2x.zip
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${HX_PKGROOT}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${HX_PKG}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:horatik-gp2x> ${HX_PKG}/horatik.gpe
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/horatik.png ${HX_PKG}/horatik.png
  COMMAND ${CMAKE_COMMAND} -E copy ${RUNDIR}/Tavlo.png ${HX_PKG}/Tavlo.png
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${RUNDIR}/data ${HX_PKG}/data
  COMMAND ${CMAKE_COMMAND} -E chdir ${HX_PKGROOT}
          ${CMAKE_COMMAND} -E tar cf ${CMAKE_BINARY_DIR}/horatik-gp2x.zip --format=zip horatik
  DEPENDS horatik-gp2x horatik-data
  COMMENT "Packing horatik-gp2x.zip")
add_custom_target(horatik-gp2x-zip ALL DEPENDS ${CMAKE_BINARY_DIR}/horatik-gp2x.zip)
