// Choosing the layout, for a cache by its header and records, for a CSV by its
// first row, and the console's lines about the choice.
#include "cachefile/layout_choice.h"

#include <algorithm>
#include <charconv>

namespace cachesift {
namespace {

constexpr std::size_t kLongHeaderBytes = 24;

// The layout that a mark, a cell that starts with kLayoutMark, names; or
// nullptr. One derived from it is kept in `derived`.
const FormatDefinition* layoutOfMark(const FormatCatalogue& catalogue, std::string_view mark,
                                     const ChoiceInput& input,
                                     std::shared_ptr<const DerivedLayout>& derived) {
  std::string_view number = mark.substr(kLayoutMark.size());
  const std::string_view changesPart = number.substr(std::min(number.find(';'), number.size()));
  number.remove_suffix(changesPart.size());
  const bool user = number.ends_with(kUserMark);
  number.remove_suffix(user ? kUserMark.size() : 0);
  std::uint32_t firstBuild = 0;
  const auto [end, error] =
      std::from_chars(number.data(), number.data() + number.size(), firstBuild);
  if (error != std::errc() || end != number.data() + number.size()) {
    return nullptr;
  }
  for (const FormatDefinition* layout : catalogue.candidates(input.signature, firstBuild)) {
    if (layout->clientBuild != firstBuild || layout->user != user) {
      continue;
    }
    if (changesPart.empty()) {
      return layout;
    }
    std::optional<std::vector<LayoutChange>> changes = readChanges(changesPart);
    std::shared_ptr<const FormatDefinition> changed =
        changes ? derivedLayout(*layout, *changes, input.build) : nullptr;
    if (changed == nullptr) {
      return nullptr;
    }
    derived = std::make_shared<const DerivedLayout>(
        DerivedLayout{layout, std::move(*changes), std::move(changed), {}});
    return derived->layout.get();
  }
  return nullptr;
}

// Where no layout fits every record of a build that has none of its own (a
// new patch), one derived from the two nearest layouts, or from the one that
// fits best, that fits more. A build's own layout keeps its columns: the records
// that it does not fit stay bytes.
bool chooseDerived(const FormatCatalogue& catalogue, const ChoiceInput& input, const LayoutFit& fit,
                   std::uint32_t framed, LayoutChoice& choice) {
  std::vector<const FormatDefinition*> bases = catalogue.candidates(input.signature, input.build);
  bases.resize(std::min<std::size_t>(bases.size(), 2));
  if (fit.layout != nullptr && fit.walk.fits() > 0 &&
      std::ranges::find(bases, fit.layout) == bases.end()) {
    bases.push_back(fit.layout);
  }
  std::optional<DerivedLayout> derived =
      deriveLayout(bases, input.file->substr(kLongHeaderBytes), framed,
                   fit.layout != nullptr ? fit.walk.fits() : 0, input.build);
  if (!derived) {
    return false;
  }
  choice.walk = derived->walk;
  choice.derived = std::make_shared<const DerivedLayout>(std::move(*derived));
  choice.layout = choice.derived->layout.get();
  choice.by = ChosenBy::kDerived;
  choice.notTheBuilds = true;
  return true;
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
    if (ofBuild == nullptr && (fit.layout == nullptr || !fit.walk.asBytes.empty()) &&
        chooseDerived(catalogue, input, fit, *framed, choice)) {
      return;
    }
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
    choice.layout = layoutOfMark(catalogue, *input.mark, input, choice.derived);
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
    case ChosenBy::kDerived:
      return derivationLines(*choice.derived);
    case ChosenBy::kMark:
      if (choice.derived != nullptr) {
        return "Layout derived from that of client build " +
               std::to_string(choice.derived->base->clientBuild) +
               " by the changes that the first row names.\n";
      }
      return choice.layout->buildsLine(choice.notTheBuilds);
    case ChosenBy::kBuild:
    case ChosenBy::kFit:
      return choice.layout->buildsLine(choice.notTheBuilds);
    default:
      return {};
  }
}

}  // namespace cachesift
