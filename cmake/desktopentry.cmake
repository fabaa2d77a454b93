# hx_desktop_entry(template output launcher): the desktop entry for a launcher path.
# Exec takes the path as one argument, quoted where it has to be; TryExec as it is.
function(hx_desktop_entry template output launcher)
  set(exec "${launcher}")
  if(exec MATCHES "[^A-Za-z0-9/._+-]")
    foreach(c "\\" "\"" "`" "$")
      string(REPLACE "${c}" "\\${c}" exec "${exec}")
    endforeach()
    set(exec "\"${exec}\"")
  endif()
  # the entry's own escapes come on top: a backslash is written twice, a % too
  string(REPLACE "\\" "\\\\" exec "${exec}")
  string(REPLACE "%" "%%" exec "${exec}")
  string(REPLACE "\\" "\\\\" tryexec "${launcher}")
  set(HX_EXEC "${exec}")
  set(HX_TRYEXEC "${tryexec}")
  configure_file("${template}" "${output}" @ONLY)
endfunction()
