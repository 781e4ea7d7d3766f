#include "catalogue/catalogue.h"

#include <string>

namespace cachesift {
namespace {

FormatCatalogue& mutableCatalogue() {
  static FormatCatalogue catalogue;
  return catalogue;
}

void addUnnamed(FormatDefinition& d, std::uint8_t type, int count) {
  for (int i = 0; i < count; ++i) {
    d.addField(type, "");
  }
}

void addCreatureLayout(FormatDefinition& d) {
  d.startLayout("creaturecache.wdb", "BOMW");
  d.addField(FT_UNSIGNED, "CreatureID");
  d.addField(FT_UNSIGNED, "Entry Size");
  d.addField(FT_STRING, "Name 1");
  d.addField(FT_STRING, "Name 2");
  d.addField(FT_STRING, "Name 3");
  d.addField(FT_STRING, "Name 4");
  d.addField(FT_STRING, "Description");
  d.addField(FT_STRING, "");
  d.addField(FT_UNSIGNED, "");
  d.addField(FT_UNSIGNED, "TypeID");
  d.addField(FT_UNSIGNED, "FamilyID");
  d.addField(FT_UNSIGNED, "FlagID");
  d.addField(FT_UNSIGNED, "");
  d.addField(FT_UNSIGNED, "SpellDataID");
  d.addField(FT_UNSIGNED, "IconID");
  d.addField(FT_UNSIGNED, "IconID2");
  d.addField(FT_UNSIGNED, "IconID3");
  d.addField(FT_UNSIGNED, "IconID4");
  d.addField(FT_FLOAT, "");
  d.addField(FT_FLOAT, "");
  d.addField(FT_BYTE | FT_UNSIGNED, "");
}

void addGameObjectLayout(FormatDefinition& d) {
  d.startLayout("gameobjectcache.wdb", "BOGW");
  d.addField(FT_UNSIGNED, "ObjectID");
  d.addField(FT_UNSIGNED, "Entry Size");
  addUnnamed(d, FT_UNTYPED, 2);
  d.addField(FT_STRING, "Name 1");
  d.addField(FT_STRING, "Name 2");
  d.addField(FT_STRING, "Name 3");
  d.addField(FT_STRING, "Name 4");
  d.addField(FT_STRING, "Str?");
  d.addField(FT_STRING, "Str?");
  d.addField(FT_STRING, "Str?");
  addUnnamed(d, FT_UNTYPED, 24);
}

void addItemLayout(FormatDefinition& d) {
  d.startLayout("itemcache.wdb", "BDIW");
  d.addField(FT_UNSIGNED, "ItemID");
  d.addField(FT_UNSIGNED, "Entry Size");
  d.addField(FT_UNSIGNED, "ItemClassID");
  d.addField(FT_UNSIGNED, "ItemSubClassID");
  d.addField(FT_SIGNED, "Unknown");
  d.addField(FT_STRING, "Name 1");
  d.addField(FT_STRING, "Name 2");
  d.addField(FT_STRING, "Name 3");
  d.addField(FT_STRING, "Name 4");
  d.addField(FT_UNSIGNED, "ItemDisplayID");
  d.addField(FT_UNSIGNED, "Quality");
  d.addField(FT_UNSIGNED, "Type Flags");
  d.addField(FT_UNSIGNED, "Buy Price");
  d.addField(FT_UNSIGNED, "Sell Price");
  d.addField(FT_UNSIGNED, "Inventory Slot");
  d.addField(FT_SIGNED, "Class Flags");
  d.addField(FT_SIGNED, "Race Flags");
  d.addField(FT_UNSIGNED, "Item Level");
  d.addField(FT_UNSIGNED, "Req Level");
  d.addField(FT_UNSIGNED, "Req Skill");
  d.addField(FT_UNSIGNED, "Req Skill Level");
  d.addField(FT_UNSIGNED, "Req Spell");
  d.addField(FT_UNSIGNED, "Req Rank");
  d.addField(FT_UNSIGNED, "Req Rank2");
  d.addField(FT_UNSIGNED, "Req Faction");
  d.addField(FT_UNSIGNED, "Req Faction LvL");
  d.addField(FT_UNSIGNED, "isUnique");
  d.addField(FT_UNSIGNED, "Stack Amount");
  d.addField(FT_UNSIGNED, "Container Slots");
  for (int i = 1; i <= 10; ++i) {
    const std::string stat = "Stat" + std::to_string(i);
    d.addField(FT_SIGNED, stat);
    d.addField(FT_UNSIGNED, stat + " Val");
  }
  for (int i = 1; i <= 5; ++i) {
    const std::string damage = "Damage" + std::to_string(i);
    d.addField(FT_FLOAT, damage + " Min");
    d.addField(FT_FLOAT, damage + " Max");
    d.addField(FT_UNSIGNED, damage + " Type");
  }
  for (const char* school : {"Physical", "Holy", "Fire", "Nature", "Frost", "Shadow", "Arcane"}) {
    d.addField(FT_UNSIGNED, std::string(school) + " Resist");
  }
  d.addField(FT_UNSIGNED, "Weapon Delay");
  d.addField(FT_UNSIGNED, "Ammo Type");
  d.addField(FT_FLOAT, "Range Mod");
  for (int i = 1; i <= 5; ++i) {
    const std::string spell = "Spell" + std::to_string(i);
    d.addField(FT_UNSIGNED, spell + " ID");
    d.addField(FT_UNSIGNED, spell + " Trigger");
    d.addField(FT_SIGNED, spell + " Charges");
    d.addField(FT_SIGNED, spell + " Cooldown");
    d.addField(FT_UNSIGNED, spell + " Category");
    d.addField(FT_SIGNED, spell + " Category Cooldown");
  }
  d.addField(FT_UNSIGNED, "BondID");
  d.addField(FT_STRING, "Description");
  d.addField(FT_UNSIGNED, "BookTextID");
  d.addField(FT_UNSIGNED, "Book Pages");
  d.addField(FT_UNSIGNED, "BookStationaryID");
  d.addField(FT_UNSIGNED, "BeginQuestID");
  d.addField(FT_UNSIGNED, "reqLockPickSkill");
  d.addField(FT_SIGNED, "Material");
  d.addField(FT_UNSIGNED, "SheathID");
  d.addField(FT_UNSIGNED, "RandomPropertyID");
  d.addField(FT_UNSIGNED, "Unknown");
  d.addField(FT_UNSIGNED, "Block Value");
  d.addField(FT_UNSIGNED, "ItemSetID");
  d.addField(FT_UNSIGNED, "Durability");
  d.addField(FT_UNSIGNED, "ItemAreaID");
  d.addField(FT_UNSIGNED, "ItemMapID");
  d.addField(FT_UNSIGNED, "Bag Family");
  d.addField(FT_UNSIGNED, "Totem Category");
  for (int i = 1; i <= 3; ++i) {
    d.addField(FT_UNSIGNED, "Socket Color " + std::to_string(i));
    d.addField(FT_UNSIGNED, "Unknown");
  }
  d.addField(FT_UNSIGNED, "SpellItemEnchantment");
  d.addField(FT_UNSIGNED, "Gem Properties");
  d.addField(FT_SIGNED, "DisenchantSkillLevel");
  d.addField(FT_FLOAT, "ArmorDamageModifier");
  d.addField(FT_UNSIGNED, "Unknown");
}

void addItemNameLayout(FormatDefinition& d) {
  d.startLayout("itemnamecache.wdb", "BDNW");
  d.addField(FT_UNSIGNED, "ItemID");
  d.addField(FT_UNSIGNED, "Entry Size");
  d.addField(FT_STRING, "Item Name");
  d.addField(FT_UNSIGNED, "InventorySlot");
}

void addItemTextLayout(FormatDefinition& d) {
  d.startLayout("itemtextcache.wdb", "XTIW");
  d.addField(FT_UNSIGNED, "EntryID");
  d.addField(FT_UNSIGNED, "Entry Size");
  d.addField(FT_STRING, "Text");
}

void addNpcLayout(FormatDefinition& d) {
  d.startLayout("npccache.wdb", "CPNW");
  d.addField(FT_UNSIGNED, "EntryID");
  d.addField(FT_UNSIGNED, "Entry Size");
  for (int group = 0; group < 8; ++group) {
    d.addField(FT_FLOAT, "");
    addUnnamed(d, FT_STRING, 2);
    addUnnamed(d, FT_UNSIGNED, 7);
  }
}

void addPageTextLayout(FormatDefinition& d) {
  d.startLayout("pagetextcache.wdb", "XTPW");
  d.addField(FT_UNSIGNED, "ItemID");
  d.addField(FT_UNSIGNED, "Entry Size");
  d.addField(FT_STRING, "Page Text");
  d.addField(FT_UNSIGNED, "NextPageID");
}

void addQuestLayout(FormatDefinition& d) {
  d.startLayout("questcache.wdb", "TSQW");
  for (const char* name : {"QuestID", "Entry Size", "QuestID2", "Type", "Level", "AreaID", "InfoID",
                           "Suggests", "FactionID", "FactionAmount", "", "", "NextQuestID"}) {
    d.addField(FT_UNSIGNED, name);
  }
  d.addField(FT_SIGNED, "CoinReward");
  for (const char* name :
       {"CoinRewardOnExp", "SpellReward", "EffectOnPlayer", "", "StartItemID", "QuestFlags", ""}) {
    d.addField(FT_UNSIGNED, name);
  }
  for (int i = 1; i <= 4; ++i) {
    d.addField(FT_UNSIGNED, "ItemReward" + std::to_string(i));
    d.addField(FT_UNSIGNED, "ItemAmount" + std::to_string(i));
  }
  for (int i = 1; i <= 6; ++i) {
    d.addField(FT_UNSIGNED, "ItemChoice" + std::to_string(i));
    d.addField(FT_UNSIGNED, "ItemChoiceAmount" + std::to_string(i));
  }
  addUnnamed(d, FT_UNSIGNED, 4);
  for (const char* name : {"Name", "Description", "Details", "Subdescription"}) {
    d.addField(FT_STRING, name);
  }
  for (int i = 1; i <= 4; ++i) {
    const std::string n = std::to_string(i);
    d.addField(FT_UNSIGNED, "KillCreature" + n);
    d.addField(FT_UNSIGNED, "KillCreature" + n + "Amount");
    d.addField(FT_UNSIGNED, "CollectItem" + n);
    d.addField(FT_UNSIGNED, "CollectItem" + n + "Amount");
  }
  for (int i = 1; i <= 4; ++i) {
    d.addField(FT_STRING, "Objective" + std::to_string(i));
  }
}

void addWowLayout(FormatDefinition& d) {
  d.startLayout("wowcache.wdb", "NDRW");
  addUnnamed(d, FT_UNTYPED, 4);
}

}  // namespace

const FormatCatalogue& formatCatalogue() {
  return mutableCatalogue();
}

void buildCatalogue() {
  FormatCatalogue& catalogue = mutableCatalogue();
  if (!catalogue.definitions().empty()) {
    return;
  }
  for (auto addLayout :
       {addCreatureLayout, addGameObjectLayout, addItemLayout, addItemNameLayout, addItemTextLayout,
        addNpcLayout, addPageTextLayout, addQuestLayout, addWowLayout}) {
    FormatDefinition definition;
    addLayout(definition);
    catalogue.append(definition);
  }
  addClientBuildLayouts(catalogue);
}

}  // namespace cachesift
