#pragma once

// The console program, apart from the platform's entry point.

#include <string_view>

namespace cachesift {

class Console;

// The whole run of the tool: the banner, then the conversion the path's last
// three characters choose ("wdb": cache file to CSV, "csv": back), with one
// message for a step that failed. Only argv[1] is used. The tool always ends
// with exit code 0, which this returns.
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

}  // namespace cachesift
