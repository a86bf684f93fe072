// The German catalogs of the kit: every *.txt of a folder, taken in the
// order of their names, one text a line ("id<TAB>text", Latin-1; lines
// starting with '#' and empty lines are skipped; a backslash and n stand for
// a line break, two backslashes for one), made into the IFF FORM CTLG the
// game's catalog reader takes (docs/catalog.md).
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace datakit {

// The catalog image of the folder's texts, entries by rising ID. False with
// "file:line: reason" in *error for a line whose ID is no number below
// id_limit, a line without a TAB or text, a text in UTF-8, an ID given twice
// (anywhere in the folder) or a file that cannot be read.
// name is the catalog's file name, written into its version text.
bool MakeCatalogImage(const std::filesystem::path& folder, uint32_t id_limit, std::vector<uint8_t>* image,
                      std::string* error, const std::string& name = "QoEBrowser.catalog");

// src/catalog/deutsch/*.txt -> out/Catalogs/deutsch/QoEBrowser.catalog (the
// program's texts) and src/catalog/deutsch/stories/*.txt ->
// out/Catalogs/deutsch/RizizOzez.catalog (the story table's); a source
// without the folder writes nothing. False with *error as above or when a
// file cannot be written.
bool MakeGermanCatalog(const std::filesystem::path& src, const std::filesystem::path& out, std::string* error);

}  // namespace datakit
