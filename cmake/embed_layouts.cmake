# Writes OUTPUT, a C++ source that holds the text of every layout file in
# LAYOUT_DIR, so that the tool carries its layouts and reads no file for them.
#   cmake -DLAYOUT_DIR=... -DOUTPUT=... -P embed_layouts.cmake
file(GLOB layout_files "${LAYOUT_DIR}/*.layout")
list(SORT layout_files)
set(entries "")
foreach(path IN LISTS layout_files)
  get_filename_component(name "${path}" NAME)
  file(READ "${path}" text)
  if(text MATCHES "\\)layout\"")
    message(FATAL_ERROR "${name} holds )layout\", which ends the embedded text")
  endif()
  string(APPEND entries "    {\"${name}\", R\"layout(${text})layout\"},\n")
endforeach()
file(WRITE "${OUTPUT}.new" "// Made by cmake/embed_layouts.cmake from src/catalogue/layouts; do not edit.
#include \"catalogue/catalogue.h\"

namespace cachesift {

std::span<const LayoutFileText> layoutFiles() {
  static constexpr LayoutFileText kFiles[] = {
${entries}  };
  return kFiles;
}

}  // namespace cachesift
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
