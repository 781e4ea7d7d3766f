// Prepares a layout for the record engine: its fixed repeats of plain fields
// unrolled, and each number's step and each run's, worked out once.
#include "catalogue/prepared_layout.h"

#include <algorithm>

namespace cachesift {
namespace {

using Kind = FieldKind;

// Fills the steps of nodes [first, last): each number's, and at the first of
// a run of numbers, the run's.
void prepareSteps(const FormatDefinition& layout, std::uint32_t first, std::uint32_t last,
                  std::vector<Step>& steps) {
  std::uint32_t start = last;  // none open
  for (std::uint32_t i = first; i < last; ++i) {
    const LayoutNode& node = layout.nodes[i];
    Step& step = steps[i];
    const KindFacts facts = factsOf(node.kind);
    step.bytes = facts.bytes;
    if (step.bytes == 0) {
      start = last;
      if (node.kind == Kind::kRepeat || node.kind == Kind::kIf) {
        prepareSteps(layout, i + 1, node.end, steps);
        for (std::uint32_t k = i + 1; node.list && k < node.end; ++k) {
          step.runBytes += steps[k].bytes;  // a list's element
        }
        i = node.end - 1;
      }
      continue;
    }
    step.bits = static_cast<std::uint8_t>(node.kind == Kind::kF32 ? 64 : 8 * step.bytes);
    step.isSigned = facts.isSigned;
    step.real = layout.framed() && (node.kind == Kind::kF32 || node.kind == Kind::kF64);
    using Cell = Step::Cell;
    // A build's own layouts write a float with the decimals it needs to come
    // back; the built-in ones with six, as they always have.
    step.cell = facts.cell == Cell::kF32 && layout.framed() ? Cell::kExactF32 : facts.cell;
    // A run of words in consecutive columns is kept apart from other numbers.
    const bool word = (step.cell == Step::Cell::kU32 || step.cell == Step::Cell::kI32) &&
                      step.bytes == 4 && node.slot < 0 && node.user < 0 && node.column >= 0;
    if (start == last || i - start == kMostRunCells || steps[start].words != word ||
        (word && node.column != layout.nodes[i - 1].column + 1)) {
      start = i;
      step.words = word;
    }
    Step& run = steps[start];
    run.runEnd = i + 1;
    run.runBytes += step.bytes;
    run.runCells += node.column >= 0 ? 1 : 0;
    run.plain &= node.slot < 0 && !step.real;
  }
}

// Whether nodes [first, last) are fields that nothing refers to, and no block.
bool plainBody(const std::vector<LayoutNode>& nodes, std::uint32_t first, std::uint32_t last) {
  return std::all_of(nodes.begin() + first, nodes.begin() + last, [](const LayoutNode& node) {
    return node.kind != Kind::kRepeat && node.kind != Kind::kIf && node.slot < 0 && node.ref < 0 &&
           node.user < 0;
  });
}

// Copies nodes [first, last) into `out`, their columns moved by `shift`, and
// each fixed repeat of plain fields as that many copies of its body; `index`
// gets where each node that stays a node went.
void unroll(const std::vector<LayoutNode>& nodes, std::uint32_t first, std::uint32_t last,
            std::int32_t shift, std::vector<LayoutNode>& out, std::vector<std::uint32_t>& index,
            std::vector<std::uint32_t>& origin) {
  constexpr std::uint32_t kMostUnrolled = 4096;
  for (std::uint32_t i = first; i < last; ++i) {
    const LayoutNode& node = nodes[i];
    index[i] = static_cast<std::uint32_t>(out.size());
    if (node.kind == Kind::kRepeat && node.ref < 0 && plainBody(nodes, i + 1, node.end) &&
        node.size * (node.end - i - 1) <= kMostUnrolled) {
      for (std::uint32_t e = 0; e < node.size; ++e) {
        unroll(nodes, i + 1, node.end,
               shift + node.column + static_cast<std::int32_t>(e * node.columns), out, index,
               origin);
      }
      i = node.end - 1;
      continue;
    }
    out.push_back(node);
    origin.push_back(i);
    out.back().column += node.column >= 0 ? shift : 0;
    if (node.kind == Kind::kRepeat || node.kind == Kind::kIf) {
      // A repeat's body counts its columns from its element's first.
      unroll(nodes, i + 1, node.end, node.kind == Kind::kIf ? shift : 0, out, index, origin);
      out[index[i]].end = static_cast<std::uint32_t>(out.size());
      i = node.end - 1;
    }
  }
}

// The layout's nodes as the engine runs them, and each one's in the layout.
FormatDefinition program(const FormatDefinition& layout, std::vector<std::uint32_t>& origin) {
  FormatDefinition program;
  program.clientBuild = layout.clientBuild;
  program.slotCount = layout.slotCount;
  std::vector<std::uint32_t> index(layout.nodes.size());
  unroll(layout.nodes, 0, static_cast<std::uint32_t>(layout.nodes.size()), 0, program.nodes, index,
         origin);
  for (LayoutNode& node : program.nodes) {
    node.user = node.user >= 0 ? static_cast<std::int32_t>(index[node.user]) : -1;
  }
  for (const auto& [ifNode, measure] : layout.measuresLeftOut) {
    program.measuresLeftOut.emplace_back(index[ifNode], index[measure]);
  }
  return program;
}

}  // namespace

PreparedLayout prepareLayout(const FormatDefinition& layout) {
  PreparedLayout prepared;
  prepared.program = program(layout, prepared.origin);
  prepared.steps.resize(prepared.program.nodes.size());
  prepareSteps(prepared.program, FormatDefinition::kFirstFieldNode,
               static_cast<std::uint32_t>(prepared.program.nodes.size()), prepared.steps);
  prepared.streamed =
      std::none_of(layout.nodes.begin(), layout.nodes.end(),
                   [](const LayoutNode& node) { return node.user >= 0 || node.kind == Kind::kIf; });
  return prepared;
}

}  // namespace cachesift
