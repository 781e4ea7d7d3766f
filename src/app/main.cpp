#include <csignal>

#include "app/console.h"
#include "app/driver.h"

int main(int argc, char** argv) {
#ifdef SIGXFSZ
  // Past a file-size limit a write should fail and be cleaned up, not kill us
  // with a temporary file left behind.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  cachesift::StdoutConsole console;
  return cachesift::runDriver(argc, argv, console);
}
