#include <gtest/gtest.h>

#include "app/console.h"
#include "catalogue/catalogue.h"

namespace cachesift {
namespace {

const FormatCatalogue& builtCatalogue() {
  buildCatalogue();
  return formatCatalogue();
}

TEST(Catalogue, HoldsTheNineLayoutsInOrder) {
  struct Expected {
    const char* signature;
    const char* fileName;
    std::uint32_t fieldCount;
    const char* firstName;
  };
  const Expected expected[] = {
      {"BOMW", "creaturecache.wdb", 21, "CreatureID"},
      {"BOGW", "gameobjectcache.wdb", 35, "ObjectID"},
      {"BDIW", "itemcache.wdb", 133, "ItemID"},
      {"BDNW", "itemnamecache.wdb", 4, "ItemID"},
      {"XTIW", "itemtextcache.wdb", 3, "EntryID"},
      {"CPNW", "npccache.wdb", 82, "EntryID"},
      {"XTPW", "pagetextcache.wdb", 4, "ItemID"},
      {"TSQW", "questcache.wdb", 69, "QuestID"},
      {"NDRW", "wowcache.wdb", 4, ""},
  };
  const auto& definitions = builtCatalogue().definitions();
  ASSERT_EQ(definitions.size(), std::size(expected));
  for (std::size_t i = 0; i < definitions.size(); ++i) {
    const FormatDefinition& d = definitions[i];
    SCOPED_TRACE(expected[i].fileName);
    EXPECT_EQ(std::string(d.signature.data(), 4), expected[i].signature);
    EXPECT_EQ(d.fileName, expected[i].fileName);
    EXPECT_EQ(d.fieldCount, expected[i].fieldCount);
    EXPECT_EQ(d.nextField, expected[i].fieldCount);
    EXPECT_EQ(d.fieldNames[0], expected[i].firstName);
    if (i < 8) {
      EXPECT_EQ(d.fieldTypes[0], FT_UNSIGNED);
      EXPECT_EQ(d.fieldTypes[1], FT_UNSIGNED);
      EXPECT_EQ(d.fieldNames[1], "Entry Size");
    }
  }
}

// The type of every field, one character a field, from the layout tables:
// U unsigned, I signed, F float, S text, X untyped, B a 1-byte unsigned.
std::string typeCodes(const FormatDefinition& d) {
  std::string codes;
  for (std::uint32_t k = 0; k < d.fieldCount; ++k) {
    switch (d.fieldTypes[k]) {
      case FT_UNSIGNED:
        codes += 'U';
        break;
      case FT_SIGNED:
        codes += 'I';
        break;
      case FT_FLOAT:
        codes += 'F';
        break;
      case FT_STRING:
        codes += 'S';
        break;
      case FT_UNTYPED:
        codes += 'X';
        break;
      case FT_BYTE | FT_UNSIGNED:
        codes += 'B';
        break;
      default:
        codes += '?';
    }
  }
  return codes;
}

TEST(Catalogue, FieldTypesMatchTheLayoutTables) {
  const auto& d = builtCatalogue().definitions();
  EXPECT_EQ(typeCodes(d[0]), "UUSSSSSSUUUUUUUUUUFFB");
  EXPECT_EQ(typeCodes(d[1]), "UUXXSSSSSSS" + std::string(24, 'X'));
  EXPECT_EQ(typeCodes(d[2]),
            "UUUUISSSSUUUUUUIIUUUUUUUUUUUU"
            "IUIUIUIUIUIUIUIUIUIU"
            "FFUFFUFFUFFUFFU"
            "UUUUUUUUUF"
            "UUIIUIUUIIUIUUIIUIUUIIUIUUIIUI"
            "USUUUUUIUUUUUUUUUUUUUUUUUUIFU");
  EXPECT_EQ(typeCodes(d[3]), "UUSU");
  EXPECT_EQ(typeCodes(d[4]), "UUS");
  std::string npc = "UU";
  for (int group = 0; group < 8; ++group) {
    npc += "FSSUUUUUUU";
  }
  EXPECT_EQ(typeCodes(d[5]), npc);
  EXPECT_EQ(typeCodes(d[6]), "UUSU");
  EXPECT_EQ(typeCodes(d[7]), std::string(13, 'U') + "I" + std::string(31, 'U') + "SSSS" +
                                 std::string(16, 'U') + "SSSS");
  EXPECT_EQ(typeCodes(d[8]), "XXXX");
}

TEST(Catalogue, SpotChecksOfFieldNames) {
  const auto& d = builtCatalogue().definitions();
  EXPECT_EQ(d[2].fieldNames[48], "Stat10 Val");
  EXPECT_EQ(d[2].fieldNames[63], "Damage5 Type");
  EXPECT_EQ(d[2].fieldNames[79], "Spell1 Category Cooldown");
  EXPECT_EQ(d[2].fieldNames[103], "Spell5 Category Cooldown");
  EXPECT_EQ(d[2].fieldNames[125], "Unknown");
  EXPECT_EQ(d[2].fieldNames[131], "ArmorDamageModifier");
  EXPECT_EQ(d[7].fieldNames[40], "ItemChoiceAmount6");
  EXPECT_EQ(d[7].fieldNames[64], "CollectItem4Amount");
  EXPECT_EQ(d[7].fieldNames[68], "Objective4");
  EXPECT_EQ(d[1].fieldNames[10], "Str?");
}

TEST(FindBySignature, EachSignatureFindsItsLayoutAndSaysSoOnce) {
  for (const FormatDefinition& d : builtCatalogue().definitions()) {
    CapturingConsole console;
    EXPECT_EQ(formatCatalogue().findBySignature(d.signature, console), &d);
    EXPECT_EQ(console.text(), "Signature matches " + d.fileName + "\n");
  }
}

TEST(FindBySignature, CaseOrderAndShortKeysMatchNothingAndPrintNothing) {
  for (const char* key : {"bomw", "WMOB", "BOM\0", "\0\0\0\0"}) {
    CapturingConsole console;
    EXPECT_EQ(builtCatalogue().findBySignature({key[0], key[1], key[2], key[3]}, console), nullptr);
    EXPECT_EQ(console.text(), "");
  }
}

TEST(FindBySignature, DuplicateSignaturesPrintTwiceAndGiveTheLater) {
  FormatCatalogue catalogue;
  FormatDefinition d;
  d.startLayout("first.wdb", "ABCD");
  catalogue.append(d);
  d.startLayout("second.wdb", "ABCD");
  catalogue.append(d);
  CapturingConsole console;
  const FormatDefinition* found = catalogue.findBySignature({'A', 'B', 'C', 'D'}, console);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->fileName, "second.wdb");
  EXPECT_EQ(console.text(), "Signature matches first.wdb\nSignature matches second.wdb\n");
}

TEST(FormatDefinition, AddFieldFillsSlotsInOrderAndStopsAt256) {
  FormatDefinition d;
  d.addField(FT_STRING, "Name");
  EXPECT_EQ(d.fieldTypes[0], FT_STRING);
  EXPECT_EQ(d.fieldNames[0], "Name");
  EXPECT_EQ(d.fieldCount, 1u);
  for (int i = 1; i < 300; ++i) {
    d.addField(FT_FLOAT, "f" + std::to_string(i));
  }
  EXPECT_EQ(d.fieldCount, 256u);
  EXPECT_EQ(d.nextField, 256u);
  EXPECT_EQ(d.fieldNames[255], "f255");
}

TEST(FormatDefinition, RestartingALayoutKeepsOnlyTheNewFieldsCounted) {
  FormatDefinition d = builtCatalogue().definitions()[2];
  d.startLayout("small.wdb", "SMAL");
  d.addField(FT_UNSIGNED, "Id");
  d.addField(FT_UNSIGNED, "Entry Size");
  EXPECT_EQ(d.fieldCount, 2u);
  EXPECT_EQ(d.fileName, "small.wdb");
}

}  // namespace
}  // namespace cachesift
