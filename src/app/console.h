#pragma once

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

// Keeps everything printed, for tests and fuzzing.
class CapturingConsole final : public Console {
 public:
  void print(std::string_view text) override { text_ += text; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace cachesift
