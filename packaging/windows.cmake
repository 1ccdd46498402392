# Windows builds (cmake/mingw-w64-<arch>.cmake): the install folder is the
# program's folder, precios.exe with the Qt and MinGW runtime DLLs it loads,
# the platform and style plugins and Qt's licence texts. `cpack` in the
# build folder writes precios-1.0.0-win32.exe / -win64.exe (NSIS) and a ZIP
# of the same folder as a portable copy.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(bits 64)
else()
  set(bits 32)
endif()

find_program(PRECIOS_OBJDUMP NAMES ${PRECIOS_MINGW_PREFIX}-objdump objdump REQUIRED)
get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
if(NOT qt_core_dll)
  get_target_property(qt_core_dll Qt6::Core LOCATION)
endif()
get_filename_component(qt_bin "${qt_core_dll}" DIRECTORY)
get_filename_component(qt_prefix "${qt_bin}" DIRECTORY)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name
                OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(gcc_runtime "${libgcc}" DIRECTORY)
set(search_dirs "${qt_bin}" "${gcc_runtime}" "/usr/${PRECIOS_MINGW_PREFIX}/lib")
set(plugins platforms/qwindows.dll platforms/qoffscreen.dll styles/qwindowsvistastyle.dll)

# The deploy script reads these at install time.
install(CODE "
  set(DIR \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  set(OBJDUMP \"${PRECIOS_OBJDUMP}\")
  set(SEARCH_DIRS \"${search_dirs}\")
  set(QT_PLUGIN_DIR \"${qt_prefix}/plugins\")
  set(PLUGINS \"${plugins}\")
  include(\"${CMAKE_CURRENT_SOURCE_DIR}/windows_deploy.cmake\")
")
install(DIRECTORY "${qt_prefix}/licenses/" DESTINATION licenses/qt)
install(FILES copyright DESTINATION licenses RENAME precios.txt)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME precios)
set(CPACK_PACKAGE_VENDOR "precios")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_FILE_NAME precios-${CPACK_PACKAGE_VERSION}-win${bits})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "item prices and ticket payment status of a store database")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Precios)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Precios)
set(CPACK_PACKAGE_EXECUTABLES precios Precios)  # Start menu: Precios\Precios
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/copyright)
set(CPACK_STRIP_FILES ON)
set(CPACK_NSIS_PACKAGE_NAME Precios)
set(CPACK_NSIS_DISPLAY_NAME Precios)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALLED_ICON_NAME precios.exe)
set(CPACK_NSIS_MUI_ICON ${PRECIOS_ICON_DIR}/precios.ico)
set(CPACK_NSIS_MUI_UNIICON ${PRECIOS_ICON_DIR}/precios.ico)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
if(bits EQUAL 64)
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  # A 64-bit installer as well (NSIS's amd64 stub): a 32-bit one would not
  # run where only 64-bit Windows programs can, as under wine64 alone.
  set(CPACK_NSIS_DEFINES "Unicode true\n  Target amd64-unicode")
endif()
set(CPACK_ZIP_COMPONENT_INSTALL OFF)
include(CPack)
