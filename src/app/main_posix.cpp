// The entry point on Linux and other POSIX systems.

#include <csignal>

#include "app/driver.h"

int main(int argc, char** argv) {
  // Past a file-size limit a write should fail and be cleaned up, not kill us
  // with a temporary file left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  return cachesift::runTool(argc, argv);
}
