# SPDX-License-Identifier: GPL-3.0-or-later
# Finds QScintilla for Qt 6 (Debian: libqscintilla2-qt6-dev), which ships no CMake package.
# Defines the imported target QScintilla::QScintilla. QScintilla_STATIC=ON names a static library
# (the Windows build of scripts/package-windows.sh): then no QSCINTILLA_DLL, which would make its
# symbols imports. The file name cannot tell: qmake names a MinGW import library lib*.a too.
option(QScintilla_STATIC "QScintilla is a static library" OFF)
find_path(QScintilla_INCLUDE_DIR Qsci/qsciscintilla.h
  HINTS ${Qt6Widgets_INCLUDE_DIRS} /usr/include/x86_64-linux-gnu/qt6 /usr/include/qt6)
find_library(QScintilla_LIBRARY NAMES qscintilla2_qt6 qscintilla2_qt6d)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(QScintilla REQUIRED_VARS QScintilla_LIBRARY QScintilla_INCLUDE_DIR)
if(QScintilla_FOUND AND NOT TARGET QScintilla::QScintilla)
  add_library(QScintilla::QScintilla UNKNOWN IMPORTED)
  set_target_properties(QScintilla::QScintilla PROPERTIES
    IMPORTED_LOCATION "${QScintilla_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${QScintilla_INCLUDE_DIR}")
  if(NOT QScintilla_STATIC)
    set_target_properties(QScintilla::QScintilla PROPERTIES INTERFACE_COMPILE_DEFINITIONS QSCINTILLA_DLL)
  endif()
  target_link_libraries(QScintilla::QScintilla INTERFACE Qt6::Widgets)
endif()
