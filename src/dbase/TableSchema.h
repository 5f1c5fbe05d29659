#pragma once
// Field descriptors of the table object and the rewrite of a table to a new
// field list, shared by TableDBF.cpp (the table and its cursor) and
// TableRestructure.cpp (the rewrite). Not for other users.
#include "dbase/DbfFile.h"
#include "dbase/TableDBF.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexa::dbfschema {

// Visual FoxPro's own last field (_NullFlags).
bool IsSystemField(const dbfio::FieldLayout& f);
// The descriptor asks for the field as it is (L and D fields have one width).
bool SameShape(const FLDDesc& d, const FLDDesc& current);
bool SameShape(const FLDDesc& d, const dbfio::FieldLayout& s);
// The layout of a new or converted field of a type whose values are written
// here; raises for another type and for an invalid width.
dbfio::FieldLayout TargetOfDesc(const FLDDesc& d, const std::string& name);
// "Pole NAME typu M nemožno zmeniť na iný typ ani šírku." for a field whose
// values are not written here.
std::string KeptFieldChangeMessage(const std::string& name, char letter);
// The stored bytes of a field name (the source's own when unchanged).
std::string NameBytes(const std::string& name, const dbfio::FieldLayout* source, int codePage, const std::string& path);

// Rebuilds the table at path as the descriptors and operations say.
void RewriteTable(const std::string& path, const TFldDescList& descs, const TOpType& ops);
// A new, empty table file of these fields (dBASE III, the given language driver).
void WriteEmptyTable(const std::string& filePath, const std::vector<dbfio::FieldLayout>& fields, int ldid);

}  // namespace vexa::dbfschema
