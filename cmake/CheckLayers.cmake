# SPDX-License-Identifier: GPL-3.0-or-later
# Fails, naming each file and include, when a source file of a layer includes a header from a
# folder that layer may not use (cmake/Layers.cmake). Run by CTest as the test "layers":
#   cmake -D PELORIN_SOURCE_DIR=<source folder> -P cmake/CheckLayers.cmake
cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/Layers.cmake")

set(faults "")
set(files 0)
foreach(layer IN LISTS PELORIN_LAYERS)
  pelorin_layer_reach(${layer} allowed)
  file(GLOB_RECURSE sources RELATIVE "${PELORIN_SOURCE_DIR}"
       "${PELORIN_SOURCE_DIR}/${layer}/*.h" "${PELORIN_SOURCE_DIR}/${layer}/*.cpp"
       "${PELORIN_SOURCE_DIR}/${layer}/*.in")
  foreach(source IN LISTS sources)
    math(EXPR files "${files} + 1")
    file(STRINGS "${PELORIN_SOURCE_DIR}/${source}" includes
         REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][A-Za-z0-9_]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([A-Za-z0-9_]+)/.*" "\\1" folder "${line}")
      if(folder IN_LIST PELORIN_LAYERS AND NOT folder STREQUAL layer
         AND NOT folder IN_LIST allowed)
        string(STRIP "${line}" line)
        string(APPEND faults "\n  ${source}: ${line} (${layer}/ may use: ${allowed})")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "Includes that run against the layers:${faults}")
endif()
message(STATUS "${files} files, every include within its layer")
