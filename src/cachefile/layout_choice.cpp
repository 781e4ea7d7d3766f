// Choosing the layout, for a cache by its header and records, for a CSV by its
// first row, and the console's lines about the choice.
#include "cachefile/layout_choice.h"

#include <charconv>

namespace cachesift {
namespace {

constexpr std::size_t kLongHeaderBytes = 24;

// The layout that a mark, a cell that starts with kLayoutMark, names; or
// nullptr.
const FormatDefinition* layoutOfMark(const FormatCatalogue& catalogue, std::string_view mark,
                                     const std::array<char, 4>& signature) {
  std::string_view number = mark.substr(kLayoutMark.size());
  const bool user = number.ends_with(kUserMark);
  number.remove_suffix(user ? kUserMark.size() : 0);
  std::uint32_t firstBuild = 0;
  const auto [end, error] =
      std::from_chars(number.data(), number.data() + number.size(), firstBuild);
  if (error != std::errc() || end != number.data() + number.size()) {
    return nullptr;
  }
  for (const FormatDefinition* layout : catalogue.candidates(signature, firstBuild)) {
    if (layout->clientBuild == firstBuild && layout->user == user) {
      return layout;
    }
  }
  return nullptr;
}

// A cache from build 9506 on whose records frame as the client writes them
// is read by the layout of that cache file under which the most records fit,
// its build's own where that fits as well as any; where the build has none
// of its own and no layout fits a record, the records are kept as bytes:
// nothing of it is lost. Otherwise the build's own layout reads it, or the
// built-in one.
void chooseByRecords(const FormatCatalogue& catalogue, const ChoiceInput& input,
                     const FormatCatalogue::Match& match, LayoutChoice& choice) {
  const FormatDefinition* const ofBuild =
      match.layout != nullptr && match.layout->framed() ? match.layout : nullptr;
  const FormatDefinition* const framing = ofBuild != nullptr ? ofBuild : match.asBytes;
  const std::string_view file = *input.file;
  const std::optional<std::uint32_t> framed =
      framing != nullptr && framing->longHeader() && file.size() >= kLongHeaderBytes
          ? framedRecordCount(file.substr(kLongHeaderBytes), *framing)
          : std::nullopt;
  if (framed) {
    LayoutFit fit = bestFit(catalogue.candidates(input.signature, input.build),
                            file.substr(kLongHeaderBytes), *framing, *framed);
    choice.tried = std::move(fit.tried);
    if (fit.layout != nullptr && (ofBuild != nullptr || fit.walk.fits() > 0)) {
      choice.layout = fit.layout;
      choice.notTheBuilds = fit.layout != ofBuild;
      choice.by = choice.notTheBuilds ? ChosenBy::kFit : ChosenBy::kBuild;
      choice.walk = std::move(fit.walk);
      return;
    }
    choice.layout = ofBuild != nullptr ? ofBuild : match.asBytes;
    choice.by = ofBuild != nullptr ? ChosenBy::kBuild : ChosenBy::kAsBytes;
  }
  if (choice.layout->framed()) {
    choice.walk = *walkFramedRecords(*choice.layout, file.substr(choice.layout->headerSize()));
  }
}

}  // namespace

LayoutChoice chooseLayout(const FormatCatalogue& catalogue, const ChoiceInput& input) {
  const FormatCatalogue::Match match = catalogue.findBySignature(input.signature, input.build);
  LayoutChoice choice;
  const FormatDefinition* const named = match.layout != nullptr ? match.layout : match.asBytes;
  if (named == nullptr) {
    return choice;
  }
  choice.fileName = named->fileName;
  if (input.mark) {
    choice.layout = layoutOfMark(catalogue, *input.mark, input.signature);
    choice.by = choice.layout != nullptr ? ChosenBy::kMark : ChosenBy::kUnknownMark;
    choice.notTheBuilds = choice.layout != nullptr && choice.layout != match.layout;
    return choice;
  }
  if (input.file) {
    choice.layout = named;
    choice.by = named == match.asBytes ? ChosenBy::kAsBytes
                : named->framed()      ? ChosenBy::kBuild
                                       : ChosenBy::kBuiltIn;
    chooseByRecords(catalogue, input, match, choice);
    return choice;
  }
  if (match.asBytes != nullptr && (input.sixthWord ? *input.sixthWord : match.layout == nullptr)) {
    choice.layout = match.asBytes;
    choice.by = ChosenBy::kAsBytes;
  } else if (match.layout != nullptr) {
    choice.layout = match.layout;
    choice.by = match.layout->framed() ? ChosenBy::kBuild : ChosenBy::kBuiltIn;
  }
  return choice;
}

std::string signatureLine(const LayoutChoice& choice) {
  return choice.fileName.empty() ? std::string(kNoLayoutMessage)
                                 : "Signature matches " + choice.fileName + "\n";
}

std::string layoutLine(const LayoutChoice& choice, std::uint32_t build) {
  switch (choice.by) {
    case ChosenBy::kAsBytes:
      return "No layout of client build " + std::to_string(build) +
             "; records are written as bytes.\n";
    case ChosenBy::kUnknownMark:
      return "The layout that the first row names is no layout of " + choice.fileName + ".\n";
    case ChosenBy::kBuild:
    case ChosenBy::kFit:
    case ChosenBy::kMark:
      return choice.layout->buildsLine(choice.notTheBuilds);
    default:
      return {};
  }
}

}  // namespace cachesift
