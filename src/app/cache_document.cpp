// The conversion's steps on files: each reads or writes its file and prints
// what the step in memory says.
#include "app/cache_document.h"

#include "catalogue/cache_name.h"
#include "io/console.h"

namespace cachesift {

bool CacheDocument::loadCacheBytes(std::string_view fileBytes) {
  cache_ = cachesift::loadCacheBytes(fileBytes, catalogue);
  console.print(cache_.console);
  return cache_.ok;
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
  if (!got) {
    return false;
  }
  const CacheHead head = readCacheHead({first, *got}, catalogue);
  console.print(head.console);
  if (!head.ok) {
    return false;
  }
  const std::size_t headerSize = head.choice.layout->headerSize();
  const std::optional<std::uint64_t> size = file->size();
  if (!size || *size < headerSize) {
    console.print(refusedAfterHead(head, ""));
    return false;
  }
  if (*size - headerSize > std::uint64_t{0xFFFFFFFF}) {
    console.print(refusedAfterHead(head, kTooLargeMessage));
    return false;
  }
  const ReadStatus read = file->readAll(input_);
  if (read != ReadStatus::kOk) {
    console.print(refusedAfterHead(head, read == ReadStatus::kTooLarge ? kTooLargeMessage : ""));
    return false;
  }
  cache_ = loadCacheBody(head, input_.view(), catalogue);
  console.print(cache_.console);
  return cache_.ok;
}

void CacheDocument::decodeRecords() {
  records_ = cachesift::decodeRecords(cache_);
  console.print(records_.console);
}

bool CacheDocument::formatCsv(ByteSink& sink) const {
  return cachesift::formatCsv(cache_, records_, sink);
}

bool CacheDocument::writeCsv(const std::string& path) const {
  if (!writeFileAtomically(path + ".csv", [this](ByteSink& sink) { return formatCsv(sink); })) {
    return false;
  }
  // A derived layout goes beside the CSV as a layout file, for the user to
  // name its fields and keep; the CSV alone carries it back either way.
  if (const std::shared_ptr<const DerivedLayout>& derived = cache_.choice.derived) {
    const std::string name = path.substr(path.find_last_of("/\\") + 1) + ".layout";
    const bool written = writeFileAtomically(path + ".layout", [&](ByteSink& sink) {
      sink.append(derivedLayoutFile(*derived));
      return true;
    });
    console.print(written ? "The derived layout is written beside the CSV, as " + name + ".\n"
                          : "The derived layout could not be written beside the CSV.\n");
  }
  return true;
}

bool CacheDocument::loadCsvBytes(std::string_view fileBytes) {
  csv_ = cachesift::loadCsvBytes(fileBytes, catalogue);
  console.print(csv_.console);
  return csv_.ok;
}

bool CacheDocument::loadCsv(const std::string& path) {
  const ReadStatus status = readWholeFile(path, input_);
  if (status == ReadStatus::kCannotOpen) {
    console.print("Failed to open file\n");
  }
  return acceptRead(status) && loadCsvBytes(input_.view());
}

void CacheDocument::rebuildHeader() {
  header_ = headerOfCsv(csv_);
}

bool CacheDocument::formatCache(ByteSink& sink) const {
  std::string refusal;
  const bool written = cachesift::formatCache(csv_, header_, sink, refusal);
  console.print(refusal);
  return written;
}

bool CacheDocument::writeCache(const std::string& path) const {
  const std::string& fileName = csv_.choice.layout->fileName;
  // The layout reader refuses such a name already; this keeps a name that
  // comes some other way from writing outside the CSV's folder.
  if (!isPlainCacheName(fileName)) {
    console.print(
        "The layout's cache file name is not a plain file name ending in .wdb; nothing is "
        "written.\n");
    return false;
  }
  return writeFileAtomically(cacheOutputPath(path, fileName),
                             [this](ByteSink& sink) { return formatCache(sink); });
}

void CacheDocument::clear() {
  csv_ = {};
  records_ = {};
  cache_ = {};
  input_ = {};
}

bool CacheDocument::acceptRead(ReadStatus status) {
  if (status == ReadStatus::kTooLarge) {
    console.print(kTooLargeMessage);
  }
  return status == ReadStatus::kOk;
}

}  // namespace cachesift
