// When the tool waits for a key before its console window closes. Linux never
// waits; the Windows code that gathers the inputs is tried by hand.
#include <gtest/gtest.h>

#include "io/console.h"

namespace cachesift {
namespace {

TEST(ConsoleWindow, WaitsOnlyInAWindowOfItsOwnWithMessagesAndKeys) {
  struct Case {
    const char* what;
    ConsoleWindow window;
    bool waits;
  };
  const Case cases[] = {
      {"dropped on the exe", {true, 1, true, true}, true},
      {"in a command prompt", {true, 2, true, true}, false},
      {"in a script's console", {true, 3, true, true}, false},
      {"no console", {true, 0, false, false}, false},
      {"output to a file", {true, 1, false, true}, false},
      {"input from a file", {true, 1, true, false}, false},
      {"Linux", {false, 1, true, true}, false},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    EXPECT_EQ(waitsForKey(test.window), test.waits);
  }
}

}  // namespace
}  // namespace cachesift
