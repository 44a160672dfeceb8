// The object tree and session lists of a scan.

#include <gtest/gtest.h>

#include "session/scan.h"
#include "test_support.h"

namespace tavrin {
namespace {

const std::string kTableSignature = std::string("\xFE\x01\x0A\x09", 4) + std::string(60, '\0');
const std::string kViewFile = "TYPE=VIEW\nquery=select 1\n";

// The tree as text: "label [image itemData]" per node, indented by level.
std::string render(const ObjectTree& tree) {
  std::string out;
  std::function<void(NodeId, int)> walk = [&](NodeId id, int depth) {
    const TreeNode& n = tree.node(id);
    out += std::string(size_t(depth) * 2, ' ') + n.label + " [" + std::to_string(n.image) + " " +
           std::to_string(n.itemData) + "]\n";
    EXPECT_EQ(n.selectedImage, n.image);
    for (NodeId child : n.children) walk(child, depth + 1);
  };
  for (NodeId root : tree.roots()) walk(root, 0);
  return out;
}

TEST(Scan, OneDatabaseFolder) {
  test::ScratchFolder top;
  const std::string shop = top.makeFolder("shop");
  top.write("shop/b.frm", kTableSignature);
  top.write("shop/A.FRM", kTableSignature);
  top.write("shop/v_orders.frm", kViewFile);
  top.write("shop/A.TRG", "TYPE=TRIGGERS\n");
  top.write("shop/order.trg", "TYPE=TRIGGERS\n");
  top.write("shop/t1.frm.bak", kTableSignature);
  top.write("shop/other.frm", std::string("\xFE\x02", 2) + std::string(60, '\0'));
  top.write("shop/empty.frm", "");
  top.write("shop/db.opt", "default-character-set=latin1\n");
  top.write("shop/ibdata1", "");
  top.write("shop/t.MYD", "");

  RecoverySession session;
  BuildObjectTree(session, shop + "//");
  EXPECT_EQ(session.dataPath, shop);
  EXPECT_EQ(render(session.tree),
            "MYSQL database [0 -1]\n"
            "  " + shop + " [0 -1]\n"
            "    shop [0 -1]\n"
            "      Tables [0 -1]\n"
            "        A [0 1]\n"
            "          Keys [2 -2]\n"
            "        b [0 2]\n"
            "          Keys [2 -2]\n"
            "      Trigger [21 -3]\n"
            "        A [0 1]\n"
            "        order [0 2]\n"
            "      Views [15 -4]\n"
            "        v_orders [0 1]\n");
  ASSERT_EQ(session.tables.size(), 2u);
  EXPECT_EQ(session.tables[0].name, "A");
  EXPECT_EQ(session.tables[1].databaseIndex, 0);
  EXPECT_EQ(session.databaseFolders, std::vector<std::string>{shop});
  EXPECT_EQ(session.viewFiles, std::vector<std::string>{shop + "/v_orders.frm"});
  ASSERT_EQ(session.triggers.size(), 2u);
  EXPECT_EQ(session.triggers[0].fileName, "A.TRG");
  EXPECT_EQ(session.triggers[0].folderPath, shop);
  EXPECT_TRUE(session.tree.node(0).expanded);
  EXPECT_TRUE(session.tree.node(1).expanded);
  EXPECT_FALSE(session.tree.node(2).expanded);
}

TEST(Scan, SubFoldersAreTheDatabases) {
  test::ScratchFolder top;
  top.write("loose.frm", kTableSignature);
  top.write("db1/a.frm", kTableSignature);
  top.write("db2/b.frm", kTableSignature);
  top.write("db2/c.frm", kTableSignature);
  top.write("db2/v.frm", kViewFile);
  top.makeFolder("empty");

  RecoverySession session;
  NodeId dataFolder = BuildObjectTree(session, top.path());
  EXPECT_EQ(render(session.tree),
            "MYSQL database [0 -1]\n"
            "  " + top.path() + " [0 -1]\n"
            "    db1 [0 -1]\n      Tables [0 -1]\n        a [0 1]\n          Keys [2 -2]\n"
            "    db2 [0 -1]\n      Tables [0 -1]\n        b [0 2]\n          Keys [2 -2]\n"
            "        c [0 3]\n          Keys [2 -2]\n      Views [15 -4]\n        v [0 1]\n"
            "    empty [0 -1]\n      Tables [0 -1]\n");
  EXPECT_EQ(session.tables[1].databaseIndex, 1);

  // Item data decoding: by the node's own data and its parent's.
  const ObjectTree& tree = session.tree;
  NodeId db2 = tree.findChild(dataFolder, "db2");
  NodeId c = tree.findChild(tree.findChild(db2, "Tables"), "c");
  NodeTarget table = resolveNode(session, c);
  EXPECT_EQ(table.kind, NodeTarget::Kind::Table);
  EXPECT_EQ(table.index, 2u);
  NodeTarget keys = resolveNode(session, tree.findChild(c, "Keys"));
  EXPECT_EQ(keys.kind, NodeTarget::Kind::Keys);
  EXPECT_EQ(keys.index, 2u);
  NodeTarget view = resolveNode(session, tree.findChild(tree.findChild(db2, "Views"), "v"));
  EXPECT_EQ(view.kind, NodeTarget::Kind::View);
  EXPECT_EQ(view.index, 0u);
  EXPECT_EQ(resolveNode(session, db2).kind, NodeTarget::Kind::None);

  // A second scan starts again from 1.
  BuildObjectTree(session, top.path() + "/db2");
  EXPECT_EQ(session.tables.size(), 2u);
  EXPECT_EQ(session.tree.node(session.tree.findChild(session.tree.findChild(
                session.tree.findChild(1, "db2"), "Tables"), "b")).itemData, 1);
}

TEST(Scan, FolderWithoutDefinitions) {
  test::ScratchFolder top;
  top.write("notes.txt", "x");
  RecoverySession session;
  BuildObjectTree(session, top.path());
  EXPECT_EQ(session.tree.size(), 4u);  // root, data folder, its database and "Tables"
  EXPECT_FALSE(holdsDefinitionFile(top.path()));
  top.write("T.FRM", "");
  EXPECT_TRUE(holdsDefinitionFile(top.path()));
}

TEST(Scan, RealDataFolder) {
  RecoverySession session;
  NodeId dataFolder = BuildObjectTree(session, test::fixtureData("structure"));
  const ObjectTree& tree = session.tree;
  for (const char* database : {"mysql", "performance_schema", "shapes", "sys"}) {
    EXPECT_NE(tree.findChild(dataFolder, database), kNoNode) << database;
  }
  NodeId tables = tree.findChild(tree.findChild(dataFolder, "shapes"), "Tables");
  EXPECT_NE(tree.findChild(tables, "all_types_latin1"), kNoNode);
  EXPECT_NE(tree.findChild(tables, "computed_innodb"), kNoNode);
  EXPECT_NE(tree.findChild(tree.findChild(tree.findChild(dataFolder, "sys"), "Views"), "version"), kNoNode);
}

}  // namespace
}  // namespace tavrin
