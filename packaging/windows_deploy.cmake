# Run at install time on Windows builds (packaging/windows.cmake): puts beside
# precios.exe exactly the DLLs it loads, found by walking the import tables
# with objdump from the program and the Qt plugins it needs, through the Qt
# and MinGW runtime folders. Windows' own DLLs are not in those folders and
# stay out.
#
# Variables: DIR (the install folder holding precios.exe), OBJDUMP,
# SEARCH_DIRS (;-list), QT_PLUGIN_DIR, PLUGINS (;-list of plugin paths
# relative to QT_PLUGIN_DIR).
cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...) in a script run by install()
set(work "${DIR}/precios.exe")
foreach(plugin ${PLUGINS})
  get_filename_component(sub "${plugin}" DIRECTORY)
  file(COPY "${QT_PLUGIN_DIR}/${plugin}" DESTINATION "${DIR}/${sub}")
  list(APPEND work "${DIR}/${plugin}")
endforeach()

set(seen)
while(work)
  list(POP_FRONT work binary)
  execute_process(COMMAND "${OBJDUMP}" -p "${binary}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objdump could not read ${binary}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
  foreach(line ${imports})
    string(REGEX REPLACE "DLL Name: *" "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" key)
    if(key IN_LIST seen)
      continue()
    endif()
    list(APPEND seen "${key}")
    foreach(dir ${SEARCH_DIRS})
      if(EXISTS "${dir}/${dll}")
        message(STATUS "Deploying ${dll} (from ${dir})")
        file(COPY "${dir}/${dll}" DESTINATION "${DIR}")
        list(APPEND work "${DIR}/${dll}")
        break()
      endif()
    endforeach()
  endforeach()
endwhile()
