#include <csignal>
#include <string>
#include <vector>

#include "app/driver.h"
#include "io/console.h"

#ifdef _WIN32
#include "io/system_windows.h"
#endif

namespace {

int run(int argc, const char* const* argv) {
#ifdef SIGXFSZ
  // Past a file-size limit a write should fail and be cleaned up, not kill us
  // with a temporary file left behind.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  cachesift::StdoutConsole console;
  const int exitCode = cachesift::runDriver(argc, argv, console);
  cachesift::holdOwnWindow(console);
  return exitCode;
}

}  // namespace

#ifdef _WIN32
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
  return run(argc, argv.data());
}
#else
int main(int argc, char** argv) {
  return run(argc, argv);
}
#endif
