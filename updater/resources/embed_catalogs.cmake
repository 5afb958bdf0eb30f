# Writes OUTPUT, a C++ source holding every compiled catalog as a byte array and the table
# that the module resources look catalogs up in. ENTRIES: "id=path" items joined by '|'.
string(REPLACE "|" ";" entries "${ENTRIES}")
set(arrays "")
set(table "")
foreach(entry ${entries})
  string(REGEX MATCH "^([0-9]+)=(.*)$" _ "${entry}")
  set(id ${CMAKE_MATCH_1})
  set(path ${CMAKE_MATCH_2})
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" length)
  math(EXPR size "${length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
  string(APPEND arrays "const unsigned char kCatalog${id}[${size}] = {\n    ${bytes}\n};\n\n")
  string(APPEND table "    {\"MO\", ${id}, kCatalog${id}, ${size}},\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from the message catalogs; do not edit.
#include <cstddef>

#include \"updater/module_resources.h\"

namespace zarn {
namespace {

${arrays}}  // namespace

const std::vector<ModuleResources::Binary>& EmbeddedCatalogs() {
  static const std::vector<ModuleResources::Binary> catalogs = {
${table}  };
  return catalogs;
}

}  // namespace zarn
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
