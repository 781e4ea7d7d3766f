// The system steps on Windows.
// CMake builds this file for Windows alone; elsewhere it would not compile,
// and the guard leaves it empty.
#ifdef _WIN32

#include "io/system_windows.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "io/system.h"

namespace cachesift {
namespace {

// Paths and messages are UTF-8 inside the tool; Windows' file and console
// functions take them as UTF-16, which reaches every name whatever the
// system's code page.
std::wstring wideFromUtf8(std::string_view text) {
  const int size = static_cast<int>(text.size());
  std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), static_cast<int>(wide.size()));
  return wide;
}

HANDLE handleOf(std::FILE* file) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

}  // namespace

std::string utf8FromWide(std::wstring_view text) {
  const int size = static_cast<int>(text.size());
  std::string utf8(WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr),
                   '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, utf8.data(), static_cast<int>(utf8.size()),
                      nullptr, nullptr);
  return utf8;
}

namespace os {

std::FILE* openFile(const std::string& path, const char* mode) {
  return _wfopen(wideFromUtf8(path).c_str(), wideFromUtf8(mode).c_str());
}

// Windows refuses to open a directory as a file.
bool isReadableFile(std::FILE*) {
  return true;
}

std::int64_t filePosition(std::FILE* file) {
  return _ftelli64(file);
}

bool seekFile(std::FILE* file, std::int64_t offset, int origin) {
  return _fseeki64(file, offset, origin) == 0;
}

// Mapping spares copying the file; it is safe here, since Windows refuses to
// shorten a mapped file.
const char* mapFile(std::FILE* file, std::size_t size) {
  const HANDLE handle = handleOf(file);
  HANDLE mapping = size == 0 || handle == INVALID_HANDLE_VALUE
                       ? nullptr
                       : CreateFileMappingW(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) {
    return nullptr;
  }
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, size);
  CloseHandle(mapping);  // the view keeps it
  return static_cast<const char*>(view);
}

void unmapFile(const char* data, std::size_t) {
  UnmapViewOfFile(data);
}

void preferHugePages(char*, std::size_t) {}

void mapAtOnce(void*, std::size_t) {}

std::FILE* createExclusive(const std::string& path) {
  const int fd = _wopen(wideFromUtf8(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                        _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) {
    _close(fd);
  }
  return file;
}

// Files have no permission bits to carry over here.
void copyPermissions(const std::string&, std::FILE*) {}

bool syncToDisk(std::FILE* file) {
  const HANDLE handle = handleOf(file);
  return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
}

// Written through: the call returns once the new name is on the disk.
bool renameOver(const std::string& source, const std::string& target) {
  return MoveFileExW(wideFromUtf8(source).c_str(), wideFromUtf8(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void syncFolderOf(const std::string&) {}

void removeFile(const std::string& path) {
  _wremove(wideFromUtf8(path).c_str());
}

std::string programPath() {
  std::wstring path(32768, L'\0');
  const DWORD size = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(size < path.size() ? size : 0);
  return utf8FromWide(path);
}

bool isFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(wideFromUtf8(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<std::vector<std::string>> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(wideFromUtf8(pathIn(folder, "*")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    // The root of an empty drive has not even "." and "..".
    if (GetLastError() == ERROR_FILE_NOT_FOUND) {
      return names;
    }
    return std::nullopt;
  }
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      names.push_back(utf8FromWide(found.cFileName));
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

// "D:" alone is the current folder of drive D, so nothing goes after it.
std::string pathIn(const std::string& folder, const std::string& name) {
  const bool ends =
      !folder.empty() && std::string_view("\\/:").find(folder.back()) != std::string_view::npos;
  return ends ? folder + name : folder + '\\' + name;
}

bool writeToConsole(std::string_view text) {
  static const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  static const bool isConsole = [] {
    DWORD mode = 0;
    return GetConsoleMode(output, &mode) != 0;
  }();
  if (!isConsole) {
    return false;
  }
  const std::wstring wide = wideFromUtf8(text);
  DWORD written = 0;
  WriteConsoleW(output, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  return true;
}

ConsoleWindow consoleWindow() {
  DWORD mode = 0;
  DWORD processes[2];
  ConsoleWindow window;
  window.processCount = GetConsoleProcessList(processes, 2);
  window.outputIsConsole = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
  window.inputIsConsole = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
  return window;
}

void waitForKey() {
  // Keys pressed before the prompt do not count, nor Shift, Ctrl or Alt
  // alone (as when switching windows). A failed read ends the wait.
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
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
}

}  // namespace os
}  // namespace cachesift

#endif  // _WIN32
