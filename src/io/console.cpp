#include "io/console.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace cachesift {

void StdoutConsole::print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

bool waitsForKey(const ConsoleWindow& window) {
  return window.onWindows && window.processCount == 1 && window.outputIsConsole &&
         window.inputIsConsole;
}

void holdOwnWindow(Console& console) {
  ConsoleWindow window;
#ifdef _WIN32
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  DWORD processes[2];
  window.onWindows = true;
  window.processCount = GetConsoleProcessList(processes, 2);
  window.outputIsConsole = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
  window.inputIsConsole = GetConsoleMode(input, &mode) != 0;
#endif
  if (!waitsForKey(window)) {
    return;
  }
  console.print(kPressAnyKey);
#ifdef _WIN32
  // Keys pressed before the prompt do not count, nor Shift, Ctrl or Alt
  // alone (as when switching windows). A failed read ends the wait.
  FlushConsoleInputBuffer(input);
  INPUT_RECORD record;
  DWORD got = 0;
  while (ReadConsoleInputW(input, &record, 1, &got) != 0 && got == 1) {
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) {
      continue;
    }
    const WORD key = record.Event.KeyEvent.wVirtualKeyCode;
    if (key != VK_SHIFT && key != VK_CONTROL && key != VK_MENU) {
      return;
    }
  }
#endif
}

}  // namespace cachesift
