// Times the loading of the InnoDB dictionary of a system tablespace.
//
//     tavrin-dictionary-bench path/to/ibdata1

#include <chrono>
#include <cstdio>

#include "innodb/dictionary.h"
#include "tabledef/collation_catalogue.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s IBDATA1\n", argv[0]);
    return 2;
  }
  auto space = tavrin::Tablespace::open(argv[1]);
  if (!space) {
    std::fprintf(stderr, "%s\n", space.reason().c_str());
    return 1;
  }
  const tavrin::CollationCatalogue catalogue;
  double best = 1e9;
  size_t tables = 0, columns = 0;
  for (int run = 0; run < 5; ++run) {
    const auto start = std::chrono::steady_clock::now();
    const tavrin::DictionaryCache d = tavrin::loadDictionary(*space, catalogue);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (seconds < best) best = seconds;
    tables = d.sysTables.size();
    columns = d.sysColumns.size();
  }
  std::printf("dictionary of %zu tables and %zu columns loaded in %.1f ms\n", tables, columns, best * 1000);
  return 0;
}
