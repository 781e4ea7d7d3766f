#pragma once

// The layout files that a user puts in a folder "layouts" beside the program,
// read at start so that a build that no layout is built in for converts too.

#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"
#include "io/file_io.h"

namespace cachesift {

// The files named *.layout directly in that folder, in name order, with what
// kept one of them from being read.
struct UserLayouts {
  std::vector<std::string> names;  // as messages give them: "layouts/creature.layout"
  std::vector<FileContents> contents;
  std::vector<LayoutFileText> files;
  std::string problems;  // a line per file left out
};

// A layout file larger than this is left out, as no layout needs so much.
inline constexpr std::uint64_t kMaxLayoutFileBytes = std::uint64_t{1} << 20;

// Reads the layout files beside the program whose own file is `programPath`;
// none where the path is empty or the folder absent.
UserLayouts readUserLayouts(std::string_view programPath);

}  // namespace cachesift
