// Console output.

#include "io/console.h"

#include <cstdio>

#include "io/system.h"

namespace cachesift {

void StdoutConsole::print(std::string_view text) {
  if (os::writeToConsole(text)) {
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

bool waitsForKey(const ConsoleWindow& window) {
  return window.processCount == 1 && window.outputIsConsole && window.inputIsConsole;
}

void holdOwnWindow(Console& console) {
  if (!waitsForKey(os::consoleWindow())) {
    return;
  }
  console.print(kPressAnyKey);
  os::waitForKey();
}

}  // namespace cachesift
