#pragma once

// Where a cache file made from a CSV file goes.

#include <string>
#include <string_view>

namespace cachesift {

// Where the cache file made from a CSV file goes: the CSV file's directory
// (up to its last backslash or slash, whichever comes last), or the current
// directory when the path has neither, under the layout's file name.
std::string cacheOutputPath(std::string_view csvPath, std::string_view fileName);

}  // namespace cachesift
