#pragma once

// The console program, apart from the platform's entry point.

#include <string_view>

namespace cachesift {

class Console;

// The whole run of the tool: the banner, then for each argument the
// conversion its last three characters choose ("wdb": cache file to CSV,
// "csv": back), with one message for a step that failed; a folder stands for
// the .wdb files directly in it. With more than one argument, or a folder, a
// line names each file before its messages and a last line counts them. The
// tool always ends with exit code 0, which this returns.
int runDriver(int argc, const char* const* argv, Console& console);

// The executable's run: runDriver() on standard output, then, where the
// console window was opened for the tool alone, the wait for a key.
int runTool(int argc, const char* const* argv);

inline constexpr std::string_view kBanner =
    "** Cachesift**\n"
    "Converts game client cache files (.wdb) to CSV text and back.\n"
    "Drop a .wdb file on this program to get a .csv beside it; drop that .csv to get the .wdb.\n"
    "\n";

inline constexpr std::string_view kUsage =
    "usage: cachesift.exe <file.wdb> (drag the wdb onto this file)\n";

// After the line that names an argument, or after a folder's path.
inline constexpr std::string_view kNoDirection =
    "This names neither a .wdb file, nor a .csv file, nor a folder; it is left alone.\n";
inline constexpr std::string_view kFolderWithoutCaches = ": this folder holds no .wdb file.\n";
inline constexpr std::string_view kFolderUnread = ": this folder cannot be read.\n";

}  // namespace cachesift
