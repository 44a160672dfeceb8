#include "session/table_check.h"

#include "render/value_renderer.h"
#include "session/table_rows.h"

namespace tavrin {

std::string TableCheck::text() const {
  switch (verdict) {
    case Verdict::Sound: return "sound, " + std::to_string(rows) + " rows";
    case Verdict::Unreadable: return "unreadable: " + reason;
    case Verdict::Damaged: break;
  }
  std::string text = "damaged, " + std::to_string(rows) + " rows read";
  for (const std::string& loss : losses) text += "; " + loss;
  return text;
}

TableCheck checkTable(const RecoverySession& session, size_t tableIndex, const CollationCatalogue& catalogue,
                      const std::function<InnodbSystem()>& innodbSystem) {
  TableCheck check;
  auto table = TableRows::open(session, tableIndex, catalogue, innodbSystem);
  if (!table) {
    check.verdict = Verdict::Unreadable;
    check.reason = table.reason();
    return check;
  }
  // Each value is decoded too, for dates and times that no server stores.
  ValueRenderer values((*table)->definition(), catalogue, TextForm{true, 0, TimeZone::utc()});
  WalkEnd end = readAllRows((*table)->rows(), [&](const RowValues& row) { values.decode(row); }, ReadOptions{true, false});
  end.passedOver.merge(values.implausibleValues());
  check.rows = end.rows;
  check.losses = end.passedOver.lines();
  if (end.stoppedEarly()) check.losses.push_back(end.stop->reason);
  if (!check.losses.empty()) check.verdict = Verdict::Damaged;
  return check;
}

}  // namespace tavrin
