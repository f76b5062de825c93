# Writes OUT (a header) with the text that names this build exactly: the version and the source
# revision (git describe; "-dirty" when the tree has changes, "unknown" without git). Run at
# every build; the header is only rewritten when the text changes, so nothing rebuilds needlessly.
# cmake -DSOURCE=<tree> -DVERSION=<x.y.z.w> -DOUT=<header> -P source_revision.cmake
execute_process(COMMAND git -C ${SOURCE} describe --always --dirty --abbrev=12
  OUTPUT_VARIABLE revision OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
if(failed OR revision STREQUAL "")
  set(revision unknown)
endif()
file(WRITE ${OUT}.tmp "// Written by cmake/source_revision.cmake at build time.\n"
  "#pragma once\n"
  "#define KWILL_SOURCE_REVISION \"${revision}\"\n"
  "#define KWILL_PRODUCT_VERSION_TEXT \"${VERSION} (${revision})\"\n")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUT}.tmp ${OUT})
file(REMOVE ${OUT}.tmp)
