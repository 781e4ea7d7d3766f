#pragma once

// The records of a cache body as a build's own layouts frame them, which of
// them a layout reads, and the choice of the layout that reads the most.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "catalogue/format_definition.h"

namespace cachesift {

// What one layout makes of a body's records.
struct RecordWalk {
  std::uint32_t count = 0;  // the records framed
  // Which of them, by number, the layout does not read: their fields do not
  // take exactly the entry size, or would not come back as they are.
  std::vector<std::uint32_t> asBytes;
  std::uint32_t lostTexts = 0;  // texts of the records read that hold the byte 1A
  std::size_t end = 0;          // where the last record taken ends

  std::uint32_t fits() const { return count - static_cast<std::uint32_t>(asBytes.size()); }
};

// Walks the records by `layout`'s framing from the body's start, checking each
// with the record engine. The walk ends where the frames end. Gives nothing
// once more than `mostMisses` records do not fit, as a layout that cannot be
// chosen any more.
std::optional<RecordWalk> walkFramedRecords(const FormatDefinition& layout, std::string_view body,
                                            std::uint32_t mostMisses = UINT32_MAX);

// How many records the body holds when framed as
// `layout` frames them (its key width and size bias), running to an end
// marker (a zero key and entry size) that ends the body; nothing when they do
// not frame so.
std::optional<std::uint32_t> framedRecordCount(std::string_view body,
                                               const FormatDefinition& layout);

// Of `candidates`, most wanted first, the one under which the most records
// of the body fit (on a tie, the earlier), with its walk; candidates whose
// framing does not frame the body are passed over. When every record fits
// the first, no other is tried. `framed` is how many records `framing`'s
// key width and size bias frame, known already: each walk over the records'
// frames costs a cache miss a record.
// What a candidate made of the records, in the order tried: how many fit it,
// or nothing where its framing does not frame the body or its walk gave up,
// as it could no longer be chosen.
struct CandidateFit {
  const FormatDefinition* layout = nullptr;
  std::optional<std::uint32_t> fits;
  bool operator==(const CandidateFit&) const = default;
};
struct LayoutFit {
  const FormatDefinition* layout = nullptr;
  RecordWalk walk;
  std::vector<CandidateFit> tried;
};
LayoutFit bestFit(std::span<const FormatDefinition* const> candidates, std::string_view body,
                  const FormatDefinition& framing, std::uint32_t framed);

}  // namespace cachesift
