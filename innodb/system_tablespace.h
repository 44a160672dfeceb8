#pragma once
// The system tablespace (ibdata1) and the InnoDB dictionary read from it.

#include <memory>
#include <string>

#include "base/result.h"
#include "innodb/dictionary.h"
#include "innodb/innodb_table.h"
#include "innodb/page.h"
#include "tabledef/collation_catalogue.h"

namespace tavrin {

class SystemTablespace {
 public:
  // Opens `path` and reads its dictionary; fails when the file is no
  // system tablespace. A damaged dictionary still opens, with its damage.
  static Result<std::unique_ptr<SystemTablespace>> open(const std::string& path, const CollationCatalogue& catalogue);

  const std::string& path() const { return space_.path(); }
  const DictionaryCache& dictionary() const { return dictionary_; }
  InnodbSystem system() const { return {&space_, &dictionary_}; }

 private:
  explicit SystemTablespace(Tablespace space) : space_(std::move(space)) {}
  Tablespace space_;
  DictionaryCache dictionary_;
};

}  // namespace tavrin
