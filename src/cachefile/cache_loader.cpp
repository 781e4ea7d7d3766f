// Cache to CSV, first steps: the header, the body and the choice of layout.
#include <limits>
#include <string>

#include "cachefile/conversion.h"
#include "io/file_io.h"

namespace cachesift {
namespace {

// The header's recordBytes stands for recordBytes / 4 + 2 fields when it is
// below this; from here on it says nothing about the field count.
constexpr std::uint32_t kNoFieldCountFrom = 1016;

// A text field is read as its 32-bit offset into the body.
constexpr std::uint64_t kMaxBodySize = std::numeric_limits<std::uint32_t>::max();

constexpr std::string_view kTooShort = "The file is too short to hold a WDB header.\n";

}  // namespace

CacheHead readCacheHead(std::string_view firstBytes, const FormatCatalogue& catalogue) {
  CacheHead head;
  head.header = WdbHeader::decode(firstBytes.substr(0, kLongHeaderSize));
  head.choice = chooseLayout(
      catalogue, {fourChars(head.header.signature), head.header.headerWord1, {}, {}, {}});
  head.console = signatureLine(head.choice);
  if (head.choice.layout == nullptr) {
    return head;
  }
  if (firstBytes.size() < head.choice.layout->headerSize()) {
    head.console += refusedAfterHead(head, kTooShort);
    return head;
  }
  head.ok = true;
  return head;
}

// The build's layout line still comes first when the file is refused after
// its header was taken.
std::string refusedAfterHead(const CacheHead& head, std::string_view message) {
  return (head.choice.by == ChosenBy::kBuild ? layoutLine(head.choice, head.header.headerWord1)
                                             : std::string()) +
         std::string(message);
}

LoadedCache loadCacheBody(const CacheHead& head, std::string_view fileBytes,
                          const FormatCatalogue& catalogue) {
  LoadedCache cache;
  cache.header = head.header;
  // The file may have shrunk since its header was read.
  const std::size_t headerSize = head.choice.layout->headerSize();
  if (fileBytes.size() < headerSize) {
    cache.console = refusedAfterHead(head, kTooShort);
    return cache;
  }
  if (fileBytes.size() - headerSize > kMaxBodySize) {
    cache.console = refusedAfterHead(head, kTooLargeMessage);
    return cache;
  }
  cache.choice = chooseLayout(
      catalogue, {fourChars(cache.header.signature), cache.header.headerWord1, {}, {}, fileBytes});
  const FormatDefinition& layout = *cache.choice.layout;
  cache.console = layoutLine(cache.choice, cache.header.headerWord1);
  cache.body = fileBytes.substr(layout.headerSize());
  // In the files of a build with layouts of its own, recordBytes is the size
  // of the client's record in memory, not a field count; there each record's
  // entry size is checked instead.
  if (!layout.framed() && cache.header.recordBytes < kNoFieldCountFrom) {
    const int expected = static_cast<int>(cache.header.recordBytes / 4 + 2);
    const int difference = expected - static_cast<int>(layout.columns.size());
    if (difference != 0) {
      cache.console +=
          "WARNING: Number of fields does not match definition,\n"
          "         Temporarily adjusting fieldsize, this may be an older/newer version.\n\n"
          "NEW FIELD INFO:\n\tNew fields: " +
          std::to_string(difference) + "\n\n";
    }
  }
  cache.ok = true;
  return cache;
}

LoadedCache loadCacheBytes(std::string_view fileBytes, const FormatCatalogue& catalogue) {
  const CacheHead head = readCacheHead(fileBytes.substr(0, kLongHeaderSize), catalogue);
  if (!head.ok) {
    LoadedCache cache;
    cache.console = head.console;
    return cache;
  }
  LoadedCache cache = loadCacheBody(head, fileBytes, catalogue);
  cache.console = head.console + cache.console;
  return cache;
}

}  // namespace cachesift
