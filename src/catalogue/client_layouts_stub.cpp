#include "catalogue/catalogue.h"
namespace cachesift {
void addClientBuildLayouts(FormatCatalogue& catalogue) {
  for (std::uint32_t build : {5875u, 12340u}) {
    FormatDefinition d;
    d.startLayout("itemtextcache.wdb", "XTIW", build);
    d.keyBytes = build == 12340 ? 8 : 4;
    d.addField(build == 12340 ? FT_HEX : FT_UNSIGNED, "TextID");
    d.addField(FT_UNSIGNED, "Entry Size");
    d.addField(FT_STRING, "Text");
    catalogue.append(d);
    d.startLayout("wowcache.wdb", "NDRW", build);
    d.keyBytes = 16;
    d.addField(FT_HEX, "ModuleID");
    d.addField(FT_UNSIGNED, "Entry Size");
    d.addField(FT_UNSIGNED, "Data Size");
    d.addField(FT_HEX, "Data");
    catalogue.append(d);
  }
}
}  // namespace cachesift
