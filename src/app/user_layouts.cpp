// Finding and reading the layout files beside the program.
#include "app/user_layouts.h"

#include <algorithm>

#include "app/name_tail.h"
#include "io/system.h"

namespace cachesift {

UserLayouts readUserLayouts(std::string_view programPath) {
  UserLayouts user;
  const std::size_t separator = programPath.find_last_of("\\/");
  if (separator == std::string_view::npos) {
    return user;
  }
  const std::string folder = std::string(programPath.substr(0, separator + 1)) + "layouts";
  std::vector<std::string> names = os::filesIn(folder).value_or(std::vector<std::string>{});
  std::erase_if(names,
                [](const std::string& name) { return !endsWithIgnoringCase(name, ".layout"); });
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string shown = os::pathIn("layouts", name);
    std::optional<InputFile> file = InputFile::open(os::pathIn(folder, name));
    const std::optional<std::uint64_t> size = file ? file->size() : std::nullopt;
    FileContents contents;
    if (size && *size > kMaxLayoutFileBytes) {
      user.problems += "Layout file " + shown + " is larger than 1 MiB; it is left out.\n";
    } else if (!size || file->readAll(contents) != ReadStatus::kOk) {
      user.problems += "Layout file " + shown + " cannot be read; it is left out.\n";
    } else {
      user.names.push_back(shown);
      user.contents.push_back(std::move(contents));
    }
  }
  for (std::size_t i = 0; i < user.names.size(); ++i) {
    user.files.push_back({user.names[i], user.contents[i].view()});
  }
  return user;
}

}  // namespace cachesift
