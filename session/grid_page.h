#pragma once
// What the record view shows: the grid with the column titles and the rows of
// the page the session holds (a table's rows, or a table's structure), or
// the definition text of a view or trigger, and the paging buttons.

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

struct GridPage {
  std::vector<std::string> titles;
  std::vector<std::vector<std::string>> rows;  // each as many cells as titles

  void clear() {
    titles.clear();
    rows.clear();
  }
};

struct RecordViewState {
  GridPage page;
  uint64_t pageRevision = 0;  // grows whenever `page` changes, so that a view redraws the grid only then
  bool gridShown = false;
  std::string definition;
  bool definitionShown = true;
  bool pagingShown = false;
  bool previousEnabled = false;
  bool nextEnabled = false;
};

}  // namespace tavrin
