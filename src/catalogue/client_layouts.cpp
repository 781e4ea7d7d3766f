#include "catalogue/catalogue.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// The record layouts of client builds 5875 and 12340. A record of these builds
// is its key, its entry size and the fields of the server's query response
// that filled it, in message order.
//
// Checked field by field on every record of real caches that the client wrote:
// the creature, game object, item name, item text, NPC text, page text and
// module caches of both builds, and the quest cache of build 12340. The item
// caches of both builds and the quest cache of build 5875 come from the public
// documentation of the item and quest query responses only: no real copy was
// at hand.

namespace cachesift {
namespace {

std::string numbered(std::string_view stem, int n) {
  return std::string(stem) + " " + std::to_string(n);
}

// "<stem> 1" to "<stem> <count>".
void addNumbered(FormatDefinition& d, FieldType type, std::string_view stem, int count) {
  for (int i = 1; i <= count; ++i) {
    d.addField(type, numbered(stem, i));
  }
}

void addKey(FormatDefinition& d, std::string_view keyName) {
  d.addField(d.keyBytes == 4 ? FT_UNSIGNED : FT_HEX, keyName);
  d.addField(FT_UNSIGNED, "Entry Size");
}

// ---- creaturecache.wdb --------------------------------------------------

void addCreature5875(FormatDefinition& d, std::uint32_t build) {
  d.startLayout("creaturecache.wdb", "BOMW", build);
  addKey(d, "CreatureID");
  addNumbered(d, FT_STRING, "Name", 4);
  d.addField(FT_STRING, "Subname");
  d.addField(FT_UNSIGNED, "Type Flags");
  d.addField(FT_UNSIGNED, "Type");
  d.addField(FT_UNSIGNED, "Family");
  d.addField(FT_UNSIGNED, "Rank");
  d.addField(FT_UNSIGNED, "Unknown");
  d.addField(FT_UNSIGNED, "Pet Spell Data ID");
  d.addField(FT_UNSIGNED, "Display ID");
  d.addField(FT_BYTE | FT_UNSIGNED, "Civilian");
  d.addField(FT_BYTE | FT_UNSIGNED, "Racial Leader");
}

void addCreature12340(FormatDefinition& d, std::uint32_t build) {
  d.startLayout("creaturecache.wdb", "BOMW", build);
  addKey(d, "CreatureID");
  addNumbered(d, FT_STRING, "Name", 4);
  d.addField(FT_STRING, "Subname");
  d.addField(FT_STRING, "Icon Name");
  d.addField(FT_UNSIGNED, "Type Flags");
  d.addField(FT_UNSIGNED, "Type");
  d.addField(FT_UNSIGNED, "Family");
  d.addField(FT_UNSIGNED, "Rank");
  addNumbered(d, FT_UNSIGNED, "Kill Credit", 2);
  addNumbered(d, FT_UNSIGNED, "Display ID", 4);
  d.addField(FT_FLOAT, "Health Modifier");
  d.addField(FT_FLOAT, "Power Modifier");
  d.addField(FT_BYTE | FT_UNSIGNED, "Racial Leader");
  addNumbered(d, FT_UNSIGNED, "Quest Item", 6);
  d.addField(FT_UNSIGNED, "Movement ID");
}

// ---- gameobjectcache.wdb ------------------------------------------------

void addGameObject5875(FormatDefinition& d, std::uint32_t build) {
  d.startLayout("gameobjectcache.wdb", "BOGW", build);
  addKey(d, "ObjectID");
  d.addField(FT_UNSIGNED, "Type");
  d.addField(FT_UNSIGNED, "Display ID");
  addNumbered(d, FT_STRING, "Name", 4);
  // A fifth text, empty in every real record; build 12340 names it the icon.
  d.addField(FT_STRING, "Icon Name");
  addNumbered(d, FT_UNSIGNED, "Data", 24);
}

void addGameObject12340(FormatDefinition& d, std::uint32_t build) {
  d.startLayout("gameobjectcache.wdb", "BOGW", build);
  addKey(d, "ObjectID");
  d.addField(FT_UNSIGNED, "Type");
  d.addField(FT_UNSIGNED, "Display ID");
  addNumbered(d, FT_STRING, "Name", 4);
  d.addField(FT_STRING, "Icon Name");
  d.addField(FT_STRING, "Cast Bar Caption");
  d.addField(FT_STRING, "Unknown");
  addNumbered(d, FT_UNSIGNED, "Data", 24);
  d.addField(FT_FLOAT, "Size");
  addNumbered(d, FT_UNSIGNED, "Quest Item", 6);
}

// ---- itemcache.wdb (documentation only) ---------------------------------

void addItemRequirements(FormatDefinition& d) {
  d.addField(FT_UNSIGNED, "Buy Price");
  d.addField(FT_UNSIGNED, "Sell Price");
  d.addField(FT_UNSIGNED, "Inventory Type");
  d.addField(FT_SIGNED, "Allowed Classes");
  d.addField(FT_SIGNED, "Allowed Races");
  d.addField(FT_UNSIGNED, "Item Level");
  d.addField(FT_UNSIGNED, "Required Level");
  d.addField(FT_UNSIGNED, "Required Skill");
  d.addField(FT_UNSIGNED, "Required Skill Rank");
  d.addField(FT_UNSIGNED, "Required Spell");
  d.addField(FT_UNSIGNED, "Required Honor Rank");
  d.addField(FT_UNSIGNED, "Required City Rank");
  d.addField(FT_UNSIGNED, "Required Faction");
  d.addField(FT_UNSIGNED, "Required Faction Rank");
  d.addField(FT_SIGNED, "Max Count");
  d.addField(FT_SIGNED, "Stackable");
  d.addField(FT_UNSIGNED, "Container Slots");
}

void addItemStats(FormatDefinition& d) {
  for (int i = 1; i <= 10; ++i) {
    d.addField(FT_UNSIGNED, numbered("Stat Type", i));
    d.addField(FT_SIGNED, numbered("Stat Value", i));
  }
}

void addItemDamages(FormatDefinition& d, int count) {
  for (int i = 1; i <= count; ++i) {
    d.addField(FT_FLOAT, numbered("Damage Min", i));
    d.addField(FT_FLOAT, numbered("Damage Max", i));
    d.addField(FT_UNSIGNED, numbered("Damage Type", i));
  }
}

void addItemArmorToSpells(FormatDefinition& d) {
  d.addField(FT_UNSIGNED, "Armor");
  for (const char* school : {"Holy", "Fire", "Nature", "Frost", "Shadow", "Arcane"}) {
    d.addField(FT_UNSIGNED, std::string(school) + " Resistance");
  }
  d.addField(FT_UNSIGNED, "Delay");
  d.addField(FT_UNSIGNED, "Ammo Type");
  d.addField(FT_FLOAT, "Ranged Range Modifier");
  for (int i = 1; i <= 5; ++i) {
    d.addField(FT_UNSIGNED, numbered("Spell ID", i));
    d.addField(FT_UNSIGNED, numbered("Spell Trigger", i));
    d.addField(FT_SIGNED, numbered("Spell Charges", i));
    d.addField(FT_SIGNED, numbered("Spell Cooldown", i));
    d.addField(FT_UNSIGNED, numbered("Spell Category", i));
    d.addField(FT_SIGNED, numbered("Spell Category Cooldown", i));
  }
  d.addField(FT_UNSIGNED, "Bonding");
  d.addField(FT_STRING, "Description");
  d.addField(FT_UNSIGNED, "Page Text ID");
  d.addField(FT_UNSIGNED, "Language ID");
  d.addField(FT_UNSIGNED, "Page Material");
  d.addField(FT_UNSIGNED, "Start Quest ID");
  d.addField(FT_UNSIGNED, "Lock ID");
  d.addField(FT_SIGNED, "Material");
  d.addField(FT_UNSIGNED, "Sheath");
  d.addField(FT_UNSIGNED, "Random Property");
}

void addItemBlockToBagFamily(FormatDefinition& d) {
  d.addField(FT_UNSIGNED, "Block");
  d.addField(FT_UNSIGNED, "Item Set");
  d.addField(FT_UNSIGNED, "Max Durability");
  d.addField(FT_UNSIGNED, "Area");
  d.addField(FT_UNSIGNED, "Map");
  d.addField(FT_UNSIGNED, "Bag Family");
}

void addItem5875(FormatDefinition& d, std::uint32_t build) {
  d.startLayout("itemcache.wdb", "BDIW", build);
  addKey(d, "ItemID");
  d.addField(FT_UNSIGNED, "Class");
  d.addField(FT_UNSIGNED, "Subclass");
  addNumbered(d, FT_STRING, "Name", 4);
  d.addField(FT_UNSIGNED, "Display ID");
  d.addField(FT_UNSIGNED, "Quality");
  d.addField(FT_UNSIGNED, "Flags");
  addItemRequirements(d);
  addItemStats(d);
  addItemDamages(d, 5);
  addItemArmorToSpells(d);
  addItemBlockToBagFamily(d);
}

// The cache documentation gives ten stat pairs after the stat count; the
// query response sends only as many pairs as the count says. Ten is taken,
// unconfirmed by any real file.
void addItem12340(FormatDefinition& d, std::uint32_t build) {
  d.startLayout("itemcache.wdb", "BDIW", build);
  addKey(d, "ItemID");
  d.addField(FT_UNSIGNED, "Class");
  d.addField(FT_UNSIGNED, "Subclass");
  d.addField(FT_SIGNED, "Sound Override Subclass");
  addNumbered(d, FT_STRING, "Name", 4);
  d.addField(FT_UNSIGNED, "Display ID");
  d.addField(FT_UNSIGNED, "Quality");
  d.addField(FT_UNSIGNED, "Flags");
  d.addField(FT_UNSIGNED, "Flags 2");
  addItemRequirements(d);
  d.addField(FT_UNSIGNED, "Stats Count");
  addItemStats(d);
  d.addField(FT_UNSIGNED, "Scaling Stat Distribution");
  d.addField(FT_UNSIGNED, "Scaling Stat Value");
  addItemDamages(d, 2);
  addItemArmorToSpells(d);
  d.addField(FT_UNSIGNED, "Random Suffix");
  addItemBlockToBagFamily(d);
  d.addField(FT_UNSIGNED, "Totem Category");
  for (int i = 1; i <= 3; ++i) {
    d.addField(FT_UNSIGNED, numbered("Socket Color", i));
    d.addField(FT_UNSIGNED, numbered("Socket Content", i));
  }
  d.addField(FT_UNSIGNED, "Socket Bonus");
  d.addField(FT_UNSIGNED, "Gem Properties");
  d.addField(FT_SIGNED, "Required Disenchant Skill");
  d.addField(FT_FLOAT, "Armor Damage Modifier");
  d.addField(FT_UNSIGNED, "Duration");
  d.addField(FT_UNSIGNED, "Item Limit Category");
  d.addField(FT_UNSIGNED, "Holiday ID");
}

// ---- itemnamecache.wdb, itemtextcache.wdb, pagetextcache.wdb -------------

void addItemName5875(FormatDefinition& d, std::uint32_t build) {
  d.startLayout("itemnamecache.wdb", "BDNW", build);
  addKey(d, "ItemID");
  d.addField(FT_STRING, "Item Name");
}

void addItemName12340(FormatDefinition& d, std::uint32_t build) {
  addItemName5875(d, build);
  d.addField(FT_UNSIGNED, "Inventory Type");
}

void addItemText5875(FormatDefinition& d, std::uint32_t build) {
  d.startLayout("itemtextcache.wdb", "XTIW", build);
  addKey(d, "TextID");
  d.addField(FT_STRING, "Text");
}

// Build 12340 asks for an item's text by the item's 8-byte GUID.
void addItemText12340(FormatDefinition& d, std::uint32_t build) {
  d.startLayout("itemtextcache.wdb", "XTIW", build);
  d.keyBytes = 8;
  addKey(d, "ItemGUID");
  d.addField(FT_STRING, "Text");
}

void addPageText(FormatDefinition& d, std::uint32_t build) {
  d.startLayout("pagetextcache.wdb", "XTPW", build);
  addKey(d, "PageID");
  d.addField(FT_STRING, "Text");
  d.addField(FT_UNSIGNED, "Next Page ID");
}

// ---- npccache.wdb (the same in both builds) ------------------------------

void addNpcText(FormatDefinition& d, std::uint32_t build) {
  d.startLayout("npccache.wdb", "CPNW", build);
  addKey(d, "TextID");
  for (int group = 1; group <= 8; ++group) {
    const std::string n = std::to_string(group);
    d.addField(FT_FLOAT, "Probability " + n);
    d.addField(FT_STRING, "Text " + n + " Male");
    d.addField(FT_STRING, "Text " + n + " Female");
    d.addField(FT_UNSIGNED, "Language " + n);
    for (int emote = 1; emote <= 3; ++emote) {
      const std::string m = n + "-" + std::to_string(emote);
      d.addField(FT_UNSIGNED, "Emote Delay " + m);
      d.addField(FT_UNSIGNED, "Emote " + m);
    }
  }
}

// ---- questcache.wdb ------------------------------------------------------

void addQuestRewardItems(FormatDefinition& d) {
  for (int i = 1; i <= 4; ++i) {
    d.addField(FT_UNSIGNED, numbered("Reward Item", i));
    d.addField(FT_UNSIGNED, numbered("Reward Item Count", i));
  }
  for (int i = 1; i <= 6; ++i) {
    d.addField(FT_UNSIGNED, numbered("Choice Item", i));
    d.addField(FT_UNSIGNED, numbered("Choice Item Count", i));
  }
}

void addQuestPoint(FormatDefinition& d) {
  d.addField(FT_UNSIGNED, "Point Map ID");
  d.addField(FT_FLOAT, "Point X");
  d.addField(FT_FLOAT, "Point Y");
  d.addField(FT_UNSIGNED, "Point Opt");
}

// A creature or, with the top bit set, a game object to kill or use.
void addQuestObjectives(FormatDefinition& d, std::string_view itemStem) {
  for (int i = 1; i <= 4; ++i) {
    d.addField(FT_UNSIGNED, numbered("Required Creature Or GO", i));
    d.addField(FT_UNSIGNED, numbered("Required Creature Or GO Count", i));
    d.addField(FT_UNSIGNED, numbered(itemStem, i));
    d.addField(FT_UNSIGNED, numbered(std::string(itemStem) + " Count", i));
  }
}

// The record repeats the quest ID after the entry size (seen in build 12340).
void addQuest5875(FormatDefinition& d, std::uint32_t build) {
  d.startLayout("questcache.wdb", "TSQW", build);
  addKey(d, "QuestID");
  d.addField(FT_UNSIGNED, "QuestID2");
  d.addField(FT_UNSIGNED, "Method");
  d.addField(FT_SIGNED, "Quest Level");
  d.addField(FT_SIGNED, "Zone Or Sort");
  d.addField(FT_UNSIGNED, "Type");
  d.addField(FT_UNSIGNED, "Rep Objective Faction");
  d.addField(FT_SIGNED, "Rep Objective Value");
  d.addField(FT_UNSIGNED, "Opposite Rep Faction");
  d.addField(FT_SIGNED, "Opposite Rep Value");
  d.addField(FT_UNSIGNED, "Next Quest ID");
  d.addField(FT_SIGNED, "Money");
  d.addField(FT_UNSIGNED, "Max Level Money");
  d.addField(FT_UNSIGNED, "Reward Spell");
  d.addField(FT_UNSIGNED, "Source Item ID");
  d.addField(FT_UNSIGNED, "Quest Flags");
  addQuestRewardItems(d);
  addQuestPoint(d);
  for (const char* name : {"Title", "Objectives", "Details", "End Text"}) {
    d.addField(FT_STRING, name);
  }
  addQuestObjectives(d, "Required Item");
  addNumbered(d, FT_STRING, "Objective Text", 4);
}

void addQuest12340(FormatDefinition& d, std::uint32_t build) {
  d.startLayout("questcache.wdb", "TSQW", build);
  addKey(d, "QuestID");
  d.addField(FT_UNSIGNED, "QuestID2");
  d.addField(FT_UNSIGNED, "Method");
  d.addField(FT_SIGNED, "Quest Level");
  d.addField(FT_UNSIGNED, "Min Level");
  d.addField(FT_SIGNED, "Zone Or Sort");
  d.addField(FT_UNSIGNED, "Type");
  d.addField(FT_UNSIGNED, "Suggested Players");
  for (int i = 1; i <= 2; ++i) {
    d.addField(FT_UNSIGNED, numbered("Rep Objective Faction", i));
    d.addField(FT_SIGNED, numbered("Rep Objective Value", i));
  }
  d.addField(FT_UNSIGNED, "Next Quest ID");
  d.addField(FT_UNSIGNED, "XP ID");
  d.addField(FT_SIGNED, "Money");
  d.addField(FT_UNSIGNED, "Max Level Money");
  d.addField(FT_UNSIGNED, "Reward Spell");
  d.addField(FT_SIGNED, "Reward Spell Cast");
  d.addField(FT_UNSIGNED, "Reward Honor");
  d.addField(FT_FLOAT, "Reward Honor Multiplier");
  d.addField(FT_UNSIGNED, "Source Item ID");
  d.addField(FT_UNSIGNED, "Quest Flags");
  d.addField(FT_UNSIGNED, "Reward Title ID");
  d.addField(FT_UNSIGNED, "Players Slain");
  d.addField(FT_UNSIGNED, "Bonus Talents");
  d.addField(FT_UNSIGNED, "Bonus Arena Points");
  d.addField(FT_UNSIGNED, "Unknown");
  addQuestRewardItems(d);
  addNumbered(d, FT_UNSIGNED, "Reward Faction", 5);
  addNumbered(d, FT_SIGNED, "Reward Faction Value", 5);
  addNumbered(d, FT_SIGNED, "Reward Faction Override", 5);
  addQuestPoint(d);
  for (const char* name : {"Title", "Objectives", "Details", "End Text", "Completed Text"}) {
    d.addField(FT_STRING, name);
  }
  addQuestObjectives(d, "Required Source Item");
  for (int i = 1; i <= 6; ++i) {
    d.addField(FT_UNSIGNED, numbered("Required Item", i));
    d.addField(FT_UNSIGNED, numbered("Required Item Count", i));
  }
  addNumbered(d, FT_STRING, "Objective Text", 4);
}

// ---- wowcache.wdb --------------------------------------------------------

// A module: its 16-byte ID, then a word that counts the bytes after it (the
// entry size less four in every real record), then those bytes.
void addModule(FormatDefinition& d, std::uint32_t build) {
  d.startLayout("wowcache.wdb", "NDRW", build);
  d.keyBytes = 16;
  addKey(d, "ModuleID");
  d.addField(FT_UNSIGNED, "Data Size");
  d.addField(FT_HEX, "Data");
}

using AddLayout = void (*)(FormatDefinition&, std::uint32_t);

// Each build gets all nine cache files, in the order of the built-in layouts.
void appendLayouts(FormatCatalogue& catalogue, std::uint32_t build,
                   std::initializer_list<AddLayout> layouts) {
  for (AddLayout addLayout : layouts) {
    FormatDefinition d;
    addLayout(d, build);
    catalogue.append(d);
  }
}

}  // namespace

void addClientBuildLayouts(FormatCatalogue& catalogue) {
  appendLayouts(catalogue, 5875,
                {addCreature5875, addGameObject5875, addItem5875, addItemName5875, addItemText5875,
                 addNpcText, addPageText, addQuest5875, addModule});
  appendLayouts(catalogue, 12340,
                {addCreature12340, addGameObject12340, addItem12340, addItemName12340,
                 addItemText12340, addNpcText, addPageText, addQuest12340, addModule});
}

}  // namespace cachesift
