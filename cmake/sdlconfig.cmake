# SDL and its libraries through sdl-config, where pkg-config or its files are missing
# (the console's SDL usually comes with sdl-config alone).
find_program(HX_SDL_CONFIG sdl-config HINTS ${GP2X_PREFIX}/bin REQUIRED)
execute_process(COMMAND ${HX_SDL_CONFIG} --cflags OUTPUT_VARIABLE hx_cflags
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${HX_SDL_CONFIG} --libs OUTPUT_VARIABLE hx_libs
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
separate_arguments(hx_cflags UNIX_COMMAND "${hx_cflags}")
separate_arguments(hx_libs UNIX_COMMAND "${hx_libs}")
add_library(hx_sdl INTERFACE)
target_compile_options(hx_sdl INTERFACE ${hx_cflags})
# SDL_image and SDL_mixer pull in their own codecs when linked statically
target_link_libraries(hx_sdl INTERFACE SDL_image SDL_mixer SDL_ttf ${hx_libs} ${HX_SDL_EXTRA_LIBS})
set(HX_SDL hx_sdl)
set(HX_SDLNET SDL_net)
