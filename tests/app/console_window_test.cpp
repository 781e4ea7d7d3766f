// When the tool waits for a key before its console window closes. The
// Windows code that gathers the inputs was tried by hand.
#include <gtest/gtest.h>

#include "io/console.h"

namespace cachesift {
namespace {

TEST(ConsoleWindow, WaitsOnlyInAWindowOfItsOwnWithMessagesAndKeys) {
  // On Windows?, processes on the console, output and input on it.
  const std::pair<ConsoleWindow, bool> cases[] = {
      {{true, 1, true, true}, true},     // dropped on the exe
      {{true, 2, true, true}, false},    // in a command prompt or a script's console
      {{true, 0, false, false}, false},  // no console
      {{true, 1, false, true}, false},   // output to a file or a pipe
      {{true, 1, true, false}, false},   // input from a file
      {{false, 1, true, true}, false}};  // not on Windows
  for (const auto& [window, waits] : cases) {
    EXPECT_EQ(waitsForKey(window), waits) << window.processCount;
  }
}

}  // namespace
}  // namespace cachesift
