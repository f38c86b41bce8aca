# SPDX-License-Identifier: GPL-3.0-or-later
# The layers of the program, bottom to top. Each folder is one static library, pelorin_<folder>,
# that links the libraries of the folders it uses (PELORIN_USES_<folder>), and with them what
# those use in turn. Read by the build and by the check that no file includes a header from a
# folder its own may not use (cmake/CheckLayers.cmake).
set(PELORIN_LAYERS platform qtsupport prefs console editor splitter app)
set(PELORIN_USES_platform "")                   # no Qt: cross-built for Windows
set(PELORIN_USES_qtsupport "")                  # Qt only
set(PELORIN_USES_prefs platform)
set(PELORIN_USES_console platform)
set(PELORIN_USES_editor console qtsupport)
set(PELORIN_USES_splitter platform qtsupport)
set(PELORIN_USES_app prefs console editor splitter)

# Sets out to the folders layer may use: those it names and, in turn, what they may use.
function(pelorin_layer_reach layer out)
  set(reach "")
  set(pending ${PELORIN_USES_${layer}})
  while(pending)
    list(POP_FRONT pending used)
    if(NOT used IN_LIST reach)
      list(APPEND reach ${used})
      list(APPEND pending ${PELORIN_USES_${used}})
    endif()
  endwhile()
  set(${out} ${reach} PARENT_SCOPE)
endfunction()
