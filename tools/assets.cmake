# Font copied from fonts-liberation; pictures and sound made by our generator.
find_file(HX_SERIF LiberationSerif-Regular.ttf
  PATHS /usr/share/fonts/truetype/liberation /usr/share/fonts/truetype/liberation2
  NO_DEFAULT_PATH REQUIRED)
configure_file(${HX_SERIF} ${RUNDIR}/data/times.ttf COPYONLY)

add_custom_target(horatik-data)
