#pragma once
// What the record grid shows: the column titles and the rows of the page the
// session holds (a table's rows, or a table's structure).

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

}  // namespace tavrin
