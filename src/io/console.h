#pragma once

// Console output, and a console that keeps what it is given, for tests.

#include <string>
#include <string_view>

namespace cachesift {

// Where the tool's messages go. Every message passes through print(), so a
// test can capture the exact console text of a conversion.
class Console {
 public:
  virtual ~Console() = default;
  virtual void print(std::string_view text) = 0;
};

// Standard output. Each message is flushed at once, so that the text keeps
// its order and arrives whole even when output goes to a pipe or a file.
class StdoutConsole final : public Console {
 public:
  void print(std::string_view text) override;
};

// What the tool knows of its console window as it ends.
struct ConsoleWindow {
  // How many processes the console window serves, the tool included: 1 when
  // the window was opened for the tool alone (a file dropped on the exe), more
  // in a command prompt or a script's console, 0 without a console window
  // (always outside Windows).
  unsigned processCount = 0;
  bool outputIsConsole = false;  // else standard output goes to a file or a pipe
  bool inputIsConsole = false;   // else no key can be read
};

// Whether the tool waits for a key before it ends: when the window closes
// with the tool and its messages are shown in it, and a key can be pressed
// there.
bool waitsForKey(const ConsoleWindow& window);

inline constexpr std::string_view kPressAnyKey = "\nPress any key to close this window.\n";

// Where waitsForKey() holds for this process, prints kPressAnyKey and waits
// for a key; elsewhere does nothing.
void holdOwnWindow(Console& console);

// Keeps everything printed, for tests and fuzzing.
class CapturingConsole final : public Console {
 public:
  void print(std::string_view text) override { text_ += text; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace cachesift
