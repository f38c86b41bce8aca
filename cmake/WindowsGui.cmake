# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows program, pelorin.exe: a window program with no console of its own, carrying the
# icon that Explorer and its window show, and, against a static Qt (scripts/windows-toolchain.sh),
# with Qt's Windows platform plugin linked in: without a platform plugin no window can open.
enable_language(RC)
set_target_properties(pelorin PROPERTIES WIN32_EXECUTABLE ON)

# Qt's Windows platform code takes the window icon from the resource named IDI_ICON1.
# Written only when it changes, so a new configure does not relink the program.
set(PELORIN_WINDOWS_RC "${CMAKE_CURRENT_BINARY_DIR}/pelorin.rc")
file(CONFIGURE OUTPUT "${PELORIN_WINDOWS_RC}"
     CONTENT "IDI_ICON1 ICON \"${PROJECT_SOURCE_DIR}/packaging/pelorin.ico\"\n")
target_sources(pelorin PRIVATE "${PELORIN_WINDOWS_RC}")

get_target_property(PELORIN_QT_CORE_TYPE Qt6::Core TYPE)
if(PELORIN_QT_CORE_TYPE STREQUAL "STATIC_LIBRARY")
  set(PELORIN_QT_PLUGINS Qt6::QWindowsIntegrationPlugin)
  # The look of current Windows versions; without it Qt draws its older Windows style.
  if(TARGET Qt6::QWindowsVistaStylePlugin)
    list(APPEND PELORIN_QT_PLUGINS Qt6::QWindowsVistaStylePlugin)
  endif()
  qt_import_plugins(pelorin INCLUDE ${PELORIN_QT_PLUGINS})
endif()
