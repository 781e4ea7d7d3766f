// Cache to CSV, first steps: the header, the body and the choice of layout.

#include <algorithm>
#include <limits>
#include <string>

#include "app/cache_document.h"
#include "cachefile/record_walk.h"
#include "catalogue/catalogue.h"
#include "io/console.h"
#include "io/file_io.h"

namespace cachesift {
namespace {

// The header's recordBytes stands for recordBytes / 4 + 2 fields when it is
// below this; from here on it says nothing about the field count.
constexpr std::uint32_t kNoFieldCountFrom = 1016;

// A text field is read as its 32-bit offset into the body.
constexpr std::uint64_t kMaxBodySize = std::numeric_limits<std::uint32_t>::max();

}  // namespace

// Takes the header from the first bytes of a cache file (up to 24) and finds
// its layouts by its signature and client build.
bool CacheDocument::acceptHeader(std::string_view firstBytes) {
  header = WdbHeader::decode(firstBytes);
  const FormatCatalogue::Match match =
      catalogue.findBySignature(fourChars(header.signature), header.headerWord1);
  definition = match.layout != nullptr ? match.layout : match.asBytes;
  asBytes_ = match.asBytes;
  if (definition == nullptr) {
    console.print("Header does not match any known WDB file.\n");
    return false;
  }
  console.print("Signature matches " + definition->fileName + "\n");
  if (firstBytes.size() < definition->headerSize()) {
    refuseAfterHeader("The file is too short to hold a WDB header.\n");
    return false;
  }
  return true;
}

// The build's layout line still comes first when the file is refused after
// its header was taken.
void CacheDocument::refuseAfterHeader(std::string_view message) {
  if (definition != asBytes_ && definition->framed()) {
    console.print(definition->buildsLine(false));
  }
  console.print(message);
}

// Takes the whole file once its header is taken: its layout and its body.
bool CacheDocument::acceptBody(std::string_view fileBytes) {
  // The file may have shrunk since its header was read.
  if (fileBytes.size() < definition->headerSize()) {
    refuseAfterHeader("The file is too short to hold a WDB header.\n");
    return false;
  }
  if (fileBytes.size() - definition->headerSize() > kMaxBodySize) {
    refuseAfterHeader(kTooLargeMessage);
    return false;
  }
  LayoutChoice choice = chooseLayout(fileBytes);
  definition = choice.layout;
  layoutByFit = choice.byFit;
  framedWalk_ = std::move(choice.walk);
  layoutsTried = std::move(choice.tried);
  if (definition == asBytes_) {
    console.print("No layout of client build " + std::to_string(header.headerWord1) +
                  "; records are written as bytes.\n");
  } else if (definition->framed()) {
    console.print(definition->buildsLine(layoutByFit));
  }
  body = fileBytes.substr(definition->headerSize());
  if (definition->headerSize() == kHeaderSize) {
    header.headerWord5 = 0;  // those were the body's first bytes
  }
  // In the files of a build with layouts of its own, recordBytes is the size
  // of the client's record in memory, not a field count; there each record's
  // entry size is checked instead.
  if (!definition->framed() && header.recordBytes < kNoFieldCountFrom) {
    const int expected = static_cast<int>(header.recordBytes / 4 + 2);
    const int difference = expected - static_cast<int>(definition->columns.size());
    if (difference != 0) {
      console.print("WARNING: Number of fields does not match definition,\n");
      console.print(
          "         Temporarily adjusting fieldsize, this may be an older/newer version.\n\n");
      console.print("NEW FIELD INFO:\n\tNew fields: " + std::to_string(difference) + "\n\n");
    }
  }
  return true;
}

// A cache from build 9506 on whose records frame as the client writes them
// is read by the layout of that cache file under which the most records fit,
// its build's own where that fits as well as any; where the build has none
// of its own and no layout fits a record, the records are kept as bytes:
// nothing of it is lost. Otherwise the build's own layout reads it, or the
// built-in one.
CacheDocument::LayoutChoice CacheDocument::chooseLayout(std::string_view fileBytes) const {
  const FormatDefinition* const ofBuild =
      definition != asBytes_ && definition->framed() ? definition : nullptr;
  const FormatDefinition* const framing = ofBuild != nullptr ? ofBuild : asBytes_;
  LayoutChoice choice{definition, false, {}, {}};
  const std::optional<std::uint32_t> framed =
      framing != nullptr && framing->longHeader() && fileBytes.size() >= kLongHeaderSize
          ? framedRecordCount(fileBytes.substr(kLongHeaderSize), *framing)
          : std::nullopt;
  if (framed) {
    const std::vector<const FormatDefinition*> candidates =
        catalogue.candidates(fourChars(header.signature), header.headerWord1);
    LayoutFit fit = bestFit(candidates, fileBytes.substr(kLongHeaderSize), *framing, *framed);
    if (fit.layout != nullptr && (ofBuild != nullptr || fit.walk.fits() > 0)) {
      return {fit.layout, fit.layout != ofBuild, std::move(fit.walk), std::move(fit.tried)};
    }
    choice.layout = ofBuild != nullptr ? ofBuild : asBytes_;
    choice.tried = std::move(fit.tried);
  }
  if (choice.layout->framed()) {
    choice.walk = *walkFramedRecords(*choice.layout, fileBytes.substr(choice.layout->headerSize()));
  }
  return choice;
}

bool CacheDocument::loadCacheBytes(std::string_view fileBytes) {
  return acceptHeader(fileBytes.substr(0, kLongHeaderSize)) && acceptBody(fileBytes);
}

// The header is read first, so that a file that is no cache, or too large,
// is refused before it is read whole.
bool CacheDocument::loadCache(const std::string& path) {
  // A file that cannot be opened or read (a directory, say) prints nothing
  // here: the driver reports it.
  std::optional<InputFile> file = InputFile::open(path);
  if (!file) {
    return false;
  }
  char first[kLongHeaderSize];
  const std::optional<std::size_t> got = file->read(first, sizeof first);
  if (!got || !acceptHeader({first, *got})) {
    return false;
  }
  const std::size_t headerSize = definition->headerSize();
  const std::optional<std::uint64_t> size = file->size();
  if (!size || *size < headerSize) {
    refuseAfterHeader("");
    return false;
  }
  if (*size - headerSize > kMaxBodySize) {
    refuseAfterHeader(kTooLargeMessage);
    return false;
  }
  const ReadStatus read = file->readAll(input);
  if (read != ReadStatus::kOk) {
    refuseAfterHeader(read == ReadStatus::kTooLarge ? kTooLargeMessage : "");
    return false;
  }
  return acceptBody(input.view());
}

}  // namespace cachesift
