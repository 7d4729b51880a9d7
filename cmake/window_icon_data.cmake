# Writes the Linux windows' icon as C++ data: run with cmake -P, given OUTPUT (the .cpp to write), SIZES
# (the edge lengths in pixels, separated by commas) and RAW_DIR (holding icon-<size>.rgba, the drawing's pixels as 8-bit
# R, G, B, A bytes, row by row). With no SIZES the data is empty and the windows keep the window
# manager's own icon.
string(REPLACE "," ";" SIZES "${SIZES}")
set(pixels "")
set(count 0)
foreach(size ${SIZES})
  file(READ "${RAW_DIR}/icon-${size}.rgba" hex HEX)
  string(LENGTH "${hex}" length)
  math(EXPR expected "${size} * ${size} * 8")
  if(NOT length EQUAL expected)
    message(FATAL_ERROR "icon-${size}.rgba holds ${length} hex digits, not ${expected}")
  endif()
  # _NET_WM_ICON wants 0xAARRGGBB per pixel.
  string(REGEX REPLACE "(..)(..)(..)(..)" "0x\\4\\1\\2\\3u," argb "${hex}")
  string(APPEND pixels "    ${size}, ${size},\n    ${argb}\n")
  math(EXPR count "${count} + 2 + ${size} * ${size}")
endforeach()
if(count EQUAL 0)
  set(pixels "    0,\n")
endif()
file(WRITE "${OUTPUT}.new" "// Made by the build from ui/icon.svg (cmake/window_icon_data.cmake); not edited by hand.
#include \"platform/x11/window_icon.h\"

namespace plat::x11 {

extern const uint32_t kWindowIcon[] = {
${pixels}};
extern const size_t kWindowIconLength = ${count};

}  // namespace plat::x11
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
