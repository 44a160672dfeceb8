// MySQL 8's dictionary in its tablespaces: the JSON reader, the SDI records
// of the Sakila files MySQL 8.0.40 wrote, and the definitions read from them.
#include <gtest/gtest.h>

#include <zlib.h>

#include "base/json.h"
#include "base/text.h"
#include "innodb/layout.h"
#include "innodb/sdi.h"
#include "tabledef/sdi_definition.h"
#include "test_support.h"

namespace tavrin {
namespace {

std::string sakila(const std::string& file) { return test::realFixtures() + "/mysql-8.0.40-sakila/" + file; }

std::string tableJson(const std::string& file) {
  auto space = Tablespace::open(sakila(file));
  EXPECT_TRUE(space) << space.reason();
  auto records = readSdi(*space);
  EXPECT_TRUE(records) << records.reason();
  for (const SdiRecord& r : *records) {
    if (r.type == kSdiTypeTable) return r.json;
  }
  return {};
}

TEST(Json, ReadsWhatTheStandardAllows) {
  auto v = parseJson(R"( {"a": [1, -2.5e3, true, false, null], "b": "x\"\\\/\u00e9\ud83d\ude00\n", "c": {}} )");
  ASSERT_TRUE(v) << v.reason();
  ASSERT_EQ(v->find("a")->items.size(), 5u);
  EXPECT_EQ(v->find("a")->items[0].asUnsigned(), 1u);
  EXPECT_EQ(v->find("a")->items[1].text, "-2.5e3");
  EXPECT_FALSE(v->find("a")->items[1].asInteger());
  EXPECT_TRUE(v->find("a")->items[2].boolean);
  EXPECT_EQ(v->find("a")->items[4].kind, JsonValue::Kind::Null);
  EXPECT_EQ(v->find("b")->text, "x\"\\/\xC3\xA9\xF0\x9F\x98\x80\n");
  EXPECT_EQ(v->find("c")->kind, JsonValue::Kind::Object);
  EXPECT_EQ(v->find("d"), nullptr);
}

TEST(Json, SaysWhereTheTextStopsBeingJson) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "byte 0: the text ends where a value should be"},
      {"[1,]", "byte 3: not a value"},
      {"{\"a\" 1}", "byte 5: an object member without a colon"},
      {"{1: 2}", "an object member without a quoted name"},
      {"[1 2]", "an array without its closing bracket"},
      {"\"abc", "a string without its closing quote"},
      {"\"a\tb\"", "a control character inside a string"},
      {"\"\\x\"", "an unknown escape"},
      {"\"\\u12\"", "a \\u escape without four hexadecimal digits"},
      {"\"\\ud83d\\u0041\"", "a surrogate pair cut in half"},
      {"01", "text after the end of the document"},
      {"1.", "a number without digits after its point"},
      {"tru", "an unknown word"},
      {std::string(100, '['), "nested deeper than 64 levels"},
  };
  for (const auto& [text, reason] : cases) {
    auto v = parseJson(text);
    ASSERT_FALSE(v) << text;
    EXPECT_EQ(v.kind(), ErrorKind::Damaged);
    EXPECT_NE(v.reason().find(reason), std::string::npos) << text << ": " << v.reason();
  }
}

TEST(Base64, DecodesTheDictionarysLines) {
  EXPECT_EQ(base64Decoded("UEctMTM="), "PG-13");
  EXPECT_EQ(base64Decoded("QmVoaW5kIHRo\nZSBTY2VuZXM="), "Behind the Scenes");
  EXPECT_EQ(base64Decoded(""), "");
  EXPECT_FALSE(base64Decoded("UE*t"));
  EXPECT_FALSE(base64Decoded("UE=ct"));
}

TEST(Sdi, EveryTablespaceHoldsItsTableAndItself) {
  for (const char* file : {"actor.ibd", "film.ibd", "staff.ibd", "fts_0000000000000451_config.ibd"}) {
    auto space = Tablespace::open(sakila(file));
    ASSERT_TRUE(space) << space.reason();
    auto records = readSdi(*space);
    ASSERT_TRUE(records) << records.reason();
    ASSERT_EQ(records->size(), 2u) << file;
    EXPECT_EQ((*records)[0].type, kSdiTypeTable);
    EXPECT_EQ((*records)[1].type, kSdiTypeTablespace);
    for (const SdiRecord& r : *records) EXPECT_TRUE(parseJson(r.json)) << file;
  }
}

TEST(Sdi, InflatesToExactlyTheLengthItSays) {
  const std::string text = "{\"dd_object_type\": \"Table\"}";
  std::vector<uint8_t> stream(compressBound(uLong(text.size())));
  uLongf size = uLongf(stream.size());
  ASSERT_EQ(compress(stream.data(), &size, reinterpret_cast<const Bytef*>(text.data()), uLong(text.size())), Z_OK);
  const ByteView bytes(stream.data(), size);
  EXPECT_EQ(inflateSdi(bytes, uint32_t(text.size())).value(), text);
  EXPECT_NE(inflateSdi(bytes, uint32_t(text.size()) - 1).reason().find("inflates to more than its"), std::string::npos);
  EXPECT_NE(inflateSdi(bytes, uint32_t(text.size()) + 1).reason().find("ends after 27 of its 28 bytes"), std::string::npos);
  EXPECT_NE(inflateSdi(bytes.sub(0, size - 6), uint32_t(text.size())).reason().find("ends after"), std::string::npos);
}

TEST(SdiDefinition, TheFullTextDocumentIdFollowsTheListedFields) {
  auto table = readTablespaceDefinition(sakila("film_text.ibd"), test::shippedCatalogue());
  ASSERT_TRUE(table) << table.reason();
  const ClusteredLayout layout =
      layoutFromStoredIndex(table->definition, *table->definition.clusteredIndex, test::shippedCatalogue());
  std::vector<std::string> order;
  for (const InnoDbField& f : layout.fields) {
    order.push_back(f.column < 0 ? f.systemName : table->definition.columns[size_t(f.column)].name);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"film_id", "DB_TRX_ID", "DB_ROLL_PTR", "title", "description",
                                             "FTS_DOC_ID"}));
  EXPECT_EQ(layout.keyFields, 1u);
  EXPECT_TRUE(table->definition.columns.back().isSystemHidden());
}

TEST(SdiDefinition, TheServersOwnTablesAreNamedNotRead) {
  auto table = readTablespaceIdentity(sakila("fts_0000000000000451_being_deleted.ibd"));
  ASSERT_TRUE(table) << table.reason();
  EXPECT_TRUE(table->internal);
  EXPECT_EQ(table->name, "fts_0000000000000451_being_deleted");
  EXPECT_FALSE(readTablespaceIdentity(sakila("actor.ibd"))->internal);
}

TEST(SdiDefinition, RefusesColumnsAddedInPlace) {
  const std::string actor = tableJson("actor.ibd");
  const auto changed = [&](const std::string& from, const std::string& to) {
    std::string json = actor;
    const size_t at = json.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return json.replace(at, from.size(), to);
  };
  const std::string cases[] = {
      changed("\"se_private_data\":\"table_id=", "\"se_private_data\":\"version_added=1;table_id="),
      changed("\"se_private_data\":\"autoinc=0;", "\"se_private_data\":\"instant_col=3;autoinc=0;"),
  };
  for (const std::string& json : cases) {
    auto table = definitionFromSdi(json, test::shippedCatalogue());
    ASSERT_FALSE(table);
    EXPECT_EQ(table.kind(), ErrorKind::Unsupported);
    EXPECT_NE(table.reason().find("added or dropped in place"), std::string::npos) << table.reason();
  }
  auto unknownType = definitionFromSdi(changed("\"type\":3,", "\"type\":99,"), test::shippedCatalogue());
  EXPECT_NE(unknownType.reason().find("column actor_id has the type code 99"), std::string::npos);
  auto noColumns = definitionFromSdi(changed("\"columns\":", "\"kolumns\":"), test::shippedCatalogue());
  EXPECT_NE(noColumns.reason().find("lacks its columns or indexes"), std::string::npos);
  auto noClustered = definitionFromSdi(changed("\"name\":\"DB_TRX_ID\"", "\"name\":\"DB_TRX_IX\""), test::shippedCatalogue());
  EXPECT_NE(noClustered.reason().find("names no clustered index"), std::string::npos);
}

}  // namespace
}  // namespace tavrin
