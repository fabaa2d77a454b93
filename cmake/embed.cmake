# cmake -DIN=file -DOUT=file.inc -DNAME=name -P embed.cmake: the bytes of a file as a
# C array, so that a program carries them without reading a file at run time.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" chars)
math(EXPR n "${chars} / 2")
set(lines "")
foreach(at RANGE 0 ${chars} 32)
  string(SUBSTRING "${hex}" ${at} 32 row)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," row "${row}")
  if(row)
    string(APPEND lines "${row}\n")
  endif()
endforeach()
file(WRITE ${OUT} "// Made from ${IN} at build time.\nstatic const unsigned char ${NAME}[${n}] = {\n${lines}};\n")
