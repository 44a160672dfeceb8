#pragma once
// A check of one table: every row read, and what was passed over on the way.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "innodb/innodb_table.h"
#include "tabledef/collation_catalogue.h"

namespace tavrin {

struct RecoverySession;

enum class Verdict { Sound, Damaged, Unreadable };

struct TableCheck {
  Verdict verdict = Verdict::Sound;
  uint64_t rows = 0;                // rows read whole
  std::vector<std::string> losses;  // what was passed over, and why a walk stopped
  std::string reason;               // Unreadable: why the table cannot be read

  // "sound, 120 rows"; "damaged, 118 rows read; 2 rows passed over: ...";
  // "unreadable: ..."
  std::string text() const;
};

// Reads every row of the table `name` of a database folder, values kept
// apart from their rows included.
TableCheck checkTable(const RecoverySession& session, size_t table, const CollationCatalogue& catalogue,
                      const std::function<InnodbSystem()>& innodbSystem = {});

}  // namespace tavrin
