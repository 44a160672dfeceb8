#include "session/table_rows.h"

#include "base/path.h"
#include "tabledef/frm_reader.h"

namespace tavrin {

namespace {
// MyISAM shows BLOB/TEXT values from this size on as a marker.
constexpr size_t kMyisamDisplayLimit = 1000;
}  // namespace

Result<std::unique_ptr<TableRows>> TableRows::open(const std::string& folder, const std::string& name,
                                                   const CollationCatalogue& catalogue) {
  auto frmPath = findTableFile(folder, name, ".frm");
  if (!frmPath) return fail("the definition file of table " + name + " is gone from " + folder);
  auto definition = readFrm(*frmPath, catalogue);
  if (!definition) return fail(definition.reason());
  auto rows = std::unique_ptr<TableRows>(new TableRows());
  rows->definition_ = std::make_unique<TableDefinition>(std::move(*definition));
  const TableDefinition& def = *rows->definition_;
  switch (def.engineCode) {
    case kEngineMyisam: {
      auto myiPath = findTableFile(folder, name, ".MYI");
      auto mydPath = findTableFile(folder, name, ".MYD");
      if (!myiPath) return fail("the index file " + name + ".MYI of the MyISAM table is missing from " + folder);
      if (!mydPath) return fail("the data file " + name + ".MYD of the MyISAM table is missing from " + folder);
      auto state = readMyiState(*myiPath);
      if (!state) return fail(state.reason());
      auto table = MyisamTable::open(def, std::move(*state), *mydPath);
      if (!table) return fail(table.reason());
      rows->myisam_ = std::move(*table);
      return rows;
    }
    case kEngineInnodb:
      return fail("InnoDB tables are not supported yet");
    default:
      return fail("the table's storage engine (code " + std::to_string(def.engineCode) +
                  ") is neither MyISAM nor InnoDB");
  }
}

size_t TableRows::largeValueLimit() const { return myisam_ ? kMyisamDisplayLimit : 0; }

WalkEnd TableRows::read(uint64_t start, size_t maxRows, const RowSink& sink) {
  return myisam_->readRows(start, maxRows, sink);
}

}  // namespace tavrin
