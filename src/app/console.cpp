#include "app/console.h"

#include <cstdio>

namespace cachesift {

void StdoutConsole::print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace cachesift
