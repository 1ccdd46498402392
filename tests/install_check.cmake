# Installs the build into a scratch prefix and checks what landed there.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
set(expected bin/precios share/applications/precios.desktop
    share/metainfo/es.valtorna.precios.metainfo.xml share/precios/demo/tienda.mdb
    share/doc/precios/copyright share/doc/precios/changelog.gz
    share/man/man1/precios.1.gz share/man/es/man1/precios.1.gz)
foreach(size 16 24 32 48 64 256)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/precios.png)
endforeach()
foreach(path ${expected})
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()
file(READ "${PREFIX}/share/applications/precios.desktop" desktop)
if(NOT desktop MATCHES "\nExec=precios\n" OR NOT desktop MATCHES "\nIcon=precios\n")
  message(FATAL_ERROR "desktop entry does not start the program with its icon")
endif()
if(NOT desktop MATCHES "\nName=Precios\n" OR NOT desktop MATCHES "\nComment\\[en\\]=")
  message(FATAL_ERROR "desktop entry is not in Spanish with English translations")
endif()
file(REMOVE_RECURSE "${PREFIX}")
