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
