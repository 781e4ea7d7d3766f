#pragma once

// A layout of every field kind that the layout files know, for the tests and
// the fuzz target: bits, sized texts, numbers of every width, a counted group
// with a condition in it, a fixed group, a condition on a computed count; and
// counted and fixed groups inside a counted group.
inline constexpr const char* kMadeLayout = R"(builds 20000
cache questcache.wdb TSQW
u32 QuestID
u32 Entry Size
bits 3 $titleLength
bits 2 $count
bits 3 Flags
u16 Small
i8 Tiny
i16 Short
u64 Big
i64 Signed Big
f64 Double
hex 2 Pair
text $titleLength Title
repeat $count max 2
  u8 $nameLength
  textz $nameLength Name #
  i32 $kind Kind #
  if $kind != 7
    f32 Value #
  end
end
repeat 2
  bits 1 Bit #
end
align
if $count == 2
  bits 4 Nibble
end

cache pagetextcache.wdb XTPW
u32 PageID
u32 Entry Size
u8 $objectives
repeat $objectives max 3
  u16 $values
  u8 $length
  textz0 $length Objective #
  repeat $values max 2
    i64 Value #-#
  end
  repeat 2
    u8 Pair #-#
  end
end

cache npccache.wdb CPNW
u32 TextID
u32 Entry Size
repeat 2
  u8 $length
  text $length Line #
  u8 $kind Kind #
  if $kind == 1
    u16 Sound #
  end
end
)";
