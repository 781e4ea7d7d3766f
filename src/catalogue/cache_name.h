#pragma once

// Whether a layout's cache file name is safe to write under: a plain file
// name, never a path.

#include <string_view>

namespace cachesift {

// True for a plain file name ending in ".wdb" (in any letter case) that both
// Windows and POSIX take as a file in the folder it is written into: no
// separator, drive or stream colon, wildcard, control character, trailing dot
// or blank, and no device name that Windows reserves (CON, NUL, COM1, ...,
// with or without an extension). A layout file may come from anyone, and the
// name decides where the cache made from a CSV goes.
bool isPlainCacheName(std::string_view name);

}  // namespace cachesift
