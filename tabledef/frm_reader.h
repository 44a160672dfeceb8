#pragma once
// Reader of table definition (.frm) files: the columns with their types,
// lengths, character sets, ENUM/SET names and comments, the keys, and the
// table-level values.

#include <string>

#include "base/bytes.h"
#include "base/result.h"
#include "tabledef/collation_catalogue.h"
#include "tabledef/table_definition.h"

namespace tavrin {

// True when the first bytes are those of a table definition (0xFE 0x01).
bool hasTableDefinitionSignature(ByteView firstBytes);

// The definition held in a whole .frm file, or the reason why it cannot be
// read. The catalogue supplies the character set of each column, in which its
// ENUM/SET names are stored.
Result<TableDefinition> parseFrm(ByteView file, const CollationCatalogue& catalogue);

Result<TableDefinition> readFrm(const std::string& path, const CollationCatalogue& catalogue);

}  // namespace tavrin
