// The entry point on Windows.
// CMake builds this file for Windows alone; elsewhere it would not compile,
// and the guard leaves it empty.
#ifdef _WIN32

#include <string>
#include <vector>

#include "app/driver.h"
#include "io/system_windows.h"

// Windows hands the arguments over in UTF-16 (wmain, linked with -municode):
// the narrow main() would get them in the system's code page, which cannot
// spell every file name.
int wmain(int argc, wchar_t** wideArgv) {
  std::vector<std::string> arguments;
  std::vector<const char*> argv;
  for (int i = 0; i < argc; ++i) {
    arguments.push_back(cachesift::utf8FromWide(wideArgv[i]));
  }
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  return cachesift::runTool(argc, argv.data());
}

#endif  // _WIN32
