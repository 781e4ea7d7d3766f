// The records of a cache body as a build's own layouts frame them: which of
// them a layout reads, and which layout reads the most.
#include "cachefile/record_walk.h"

#include <algorithm>
#include <utility>

#include "cachefile/record_engine.h"
#include "cachefile/record_frame.h"

namespace cachesift {

std::optional<RecordWalk> walkFramedRecords(const FormatDefinition& layout, std::string_view body,
                                            std::uint32_t mostMisses) {
  FrameReader frames(layout, body);
  RecordEngine engine(layout);
  RecordWalk walk;
  RecordFrame frame;
  while (frames.next(frame)) {
    std::uint32_t lostTexts = 0;
    if (engine.check(frame.fields, frame.end, lostTexts) != nullptr) {
      walk.lostTexts += lostTexts;
    } else if (walk.asBytes.size() == mostMisses) {
      return std::nullopt;
    } else {
      walk.asBytes.push_back(walk.count);
    }
    frames.skipTo(frame.end);
    ++walk.count;
  }
  walk.end = frames.offset();
  return walk;
}

std::optional<std::uint32_t> framedRecordCount(std::string_view body,
                                               const FormatDefinition& layout) {
  FrameReader frames(layout, body);
  std::uint32_t count = 0;
  for (RecordFrame frame; frames.next(frame); ++count) {
    frames.skipTo(frame.end);
  }
  if (!frames.atEndMarker()) {
    return std::nullopt;
  }
  return count;
}

LayoutFit bestFit(std::span<const FormatDefinition* const> candidates, std::string_view body,
                  const FormatDefinition& framing, std::uint32_t framed) {
  LayoutFit best;
  std::size_t bestIndex = 0;
  // More records must fit a candidate than the best so far, or as many when
  // it is more wanted; its walk gives up once that can no longer be.
  const auto tryCandidate = [&](std::size_t i) {
    const FormatDefinition& layout = *candidates[i];
    const RecordFraming ours = layout.framing(), theirs = framing.framing();
    const std::optional<std::uint32_t> records =
        ours.keyBytes == theirs.keyBytes && ours.sizeBias == theirs.sizeBias
            ? framed
            : framedRecordCount(body, layout);
    const std::uint32_t fewest =
        best.layout == nullptr ? 0 : best.walk.fits() + (i < bestIndex ? 0 : 1);
    best.tried.push_back({&layout, std::nullopt});
    if (!records || *records < fewest) {
      return;
    }
    std::optional<RecordWalk> walk =
        walkFramedRecords(layout, body, best.layout == nullptr ? UINT32_MAX : *records - fewest);
    if (walk) {
      best.tried.back().fits = walk->fits();
      best.layout = &layout;
      best.walk = std::move(*walk);
      bestIndex = i;
    }
  };
  if (candidates.empty()) {
    return best;
  }
  tryCandidate(0);
  if (best.layout != nullptr && best.walk.asBytes.empty()) {
    return best;
  }
  // The others are walked in the order of how many of the records in the
  // body's first bytes fit them, so that the one chosen is mostly walked
  // before the rest, which then give up at their first record that does not
  // fit. The choice is the same in any order.
  constexpr std::size_t kProbeBytes = 65536;
  std::vector<std::pair<std::uint32_t, std::size_t>> order;  // fits of the probe, candidate
  for (std::size_t i = 1; i < candidates.size(); ++i) {
    order.emplace_back(walkFramedRecords(*candidates[i], body.substr(0, kProbeBytes))->fits(), i);
  }
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  for (const auto& [probed, i] : order) {
    tryCandidate(i);
  }
  return best;
}

}  // namespace cachesift
