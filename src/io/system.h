#pragma once

// What the file steps need of the operating system.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/console.h"

// What the tool needs from the operating system, each a small step. One file
// per platform implements them (system_posix.cpp, system_windows.cpp; the
// build picks one); file_io.cpp and console.cpp build on them what is the same
// everywhere. Paths are UTF-8.
namespace cachesift::os {

// std::fopen. `mode` is ASCII. On failure errno says why.
std::FILE* openFile(const std::string& path, const char* mode);

// False for a directory, which some systems open like a file, and for a file
// that cannot be examined: neither is a file to read.
bool isReadableFile(std::FILE* file);

// The position in a file, negative on failure, and a move to `offset` from
// `origin` (SEEK_SET, SEEK_END); both reach beyond 2 GiB.
std::int64_t filePosition(std::FILE* file);
bool seekFile(std::FILE* file, std::int64_t offset, int origin);

// Maps the first `size` bytes of a file for reading; nullptr where the file
// is to be read into a buffer instead. A mapping ends with unmapFile().
const char* mapFile(std::FILE* file, std::size_t size);
void unmapFile(const char* data, std::size_t size);

// Asks the system to back a large buffer with huge pages where it can: the
// buffer is then mapped with a few dozen page faults instead of tens of
// thousands, which is a good part of a conversion's time. Only a hint.
void preferHugePages(char* buffer, std::size_t bytes);

// Asks the system to map the pages of a buffer about to be written all at
// once, rather than a page fault per 4 KiB on first touch, which on a
// virtual machine costs as much as converting a kilobyte. Changes no byte;
// only a hint.
void mapAtOnce(void* buffer, std::size_t bytes);

// Creates a new file for writing in binary mode, failing if the name is
// taken (errno EEXIST), so that two runs never share a temporary file.
std::FILE* createExclusive(const std::string& path);

// Gives a new file the permissions of `target`, where files have them.
void copyPermissions(const std::string& target, std::FILE* file);

// Has the system write the file's content to the disk.
bool syncToDisk(std::FILE* file);

// Renames `source` to `target`, replacing a file of that name.
bool renameOver(const std::string& source, const std::string& target);

// Has the latest change of names in the folder of `path` reach the disk,
// where renameOver() does not already wait for it. Only a best effort.
void syncFolderOf(const std::string& path);

void removeFile(const std::string& path);

// The path of the running program's own file, or empty where it cannot be
// found.
std::string programPath();

// Whether `path` names a folder (a link to one included).
bool isFolder(const std::string& path);

// The names of the files directly in `folder` (no folders among them), in
// the order the system gives; nothing where the folder cannot be read.
std::optional<std::vector<std::string>> filesIn(const std::string& folder);

// The path of the file `name` in `folder`, with the system's separator.
std::string pathIn(const std::string& folder, const std::string& name);

// Shows `text` in the console window where standard output is one, such
// that every character of a name shows as it is (on Windows, whose console
// would read UTF-8 bytes in its own code page); false elsewhere, where the
// bytes go out as they are.
bool writeToConsole(std::string_view text);

// The console window as this process finds it.
ConsoleWindow consoleWindow();

// Waits for a key pressed in the console window from now on.
void waitForKey();

}  // namespace cachesift::os
