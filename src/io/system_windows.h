#pragma once

// Text between the Windows wide-character calls and UTF-8.

#include <string>
#include <string_view>

// What the Windows build offers beyond system.h.
namespace cachesift {

// The UTF-8 form of a UTF-16 text from Windows, such as a command-line
// argument: paths are UTF-8 inside the tool, and the file functions hand them
// to Windows as UTF-16 again. A lone surrogate becomes U+FFFD.
std::string utf8FromWide(std::wstring_view text);

}  // namespace cachesift
