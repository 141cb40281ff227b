# SPDX-License-Identifier: GPL-3.0-or-later
# Each layer includes only what lies below it: ui on receiver on bus on port, and the simulated
# board (sim) beside the receiver, on bus and port. An include that points up or across fails,
# naming the file and the line.
#   cmake -DSRC=<source tree>/src -P layers.cmake
set(not_below_port bus receiver sim ui)
set(not_below_bus receiver sim ui)
set(not_below_receiver sim ui)
set(not_below_sim receiver ui)
foreach(layer port bus receiver sim)
  list(JOIN not_below_${layer} "|" above)
  file(GLOB_RECURSE files "${SRC}/${layer}/*.h" "${SRC}/${layer}/*.cpp")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" includes REGEX "^#include \"(${above})/")
    foreach(line IN LISTS includes)
      file(RELATIVE_PATH name "${SRC}" "${file}")
      message(SEND_ERROR "${name}: ${line} (${layer} may not use ${above})")
    endforeach()
  endforeach()
endforeach()
file(GLOB_RECURSE all "${SRC}/*.cpp")
if(NOT all)
  message(FATAL_ERROR "no sources under ${SRC}")
endif()
