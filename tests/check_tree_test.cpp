// The check boxes of the object tree: subtree checking, the counts kept for
// ancestors and what a save takes.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "session/check_tree.h"

namespace tavrin {
namespace {

// root > data > shop > Tables (t1 > t1.keys, t2 > t2.keys), Views, Trigger:
// the shape a scan builds, with labels that name one node each.
struct ShopTree {
  ObjectTree tree;
  CheckTree checks;
  std::map<std::string, NodeId> ids;

  ShopTree() {
    NodeId shop = add(add(add(kNoNode, "root"), "data"), "shop");
    NodeId tables = add(shop, "Tables");
    add(add(tables, "t1"), "t1.keys");
    add(add(tables, "t2"), "t2.keys");
    add(shop, "Views");
    add(shop, "Trigger");
    checks.mirror(tree);
  }
  NodeId add(NodeId parent, const std::string& label) {
    return ids[label] = tree.insert(parent, label, TreeImage::Folder);
  }
  std::string labels(const std::vector<NodeId>& items) const {
    std::string out;
    for (NodeId id : items) out += (out.empty() ? "" : " ") + tree.node(id).label;
    return out;
  }
  // "label=S" per node, S one of U, C, M; the ids were given in tree order.
  std::string states() const {
    std::string out;
    for (size_t id = 0; id < tree.size(); ++id) {
      out += (out.empty() ? "" : " ") + tree.node(NodeId(id)).label + "=" + "UCM"[int(checks.state(NodeId(id)))];
    }
    return out;
  }
  // Counted afresh: the checked items below a node, against the kept count.
  int32_t checkedBelow(NodeId id) const {
    int32_t n = 0;
    for (NodeId child : tree.node(id).children) n += (checks.record(child).checked ? 1 : 0) + checkedBelow(child);
    return n;
  }
};

struct Step {
  const char* label;
  bool checked;
};

struct Case {
  const char* name;
  std::vector<Step> steps;
  bool lastChanges;       // what the last step returns
  const char* reported;   // the items the last step reports, in order
  const char* states;
  const char* checked;    // checkedItems(), in tree order
};

const Case kCases[] = {
    {"a table takes its keys", {{"t1", true}}, true, "t1 t1.keys Tables shop data root",
     "root=M data=M shop=M Tables=M t1=C t1.keys=C t2=U t2.keys=U Views=U Trigger=U", "t1 t1.keys"},
    {"the root takes everything", {{"root", true}}, true,
     "root data shop Tables t1 t1.keys t2 t2.keys Views Trigger",
     "root=C data=C shop=C Tables=C t1=C t1.keys=C t2=C t2.keys=C Views=C Trigger=C",
     "root data shop Tables t1 t1.keys t2 t2.keys Views Trigger"},
    {"one leaf out of a full tree", {{"root", true}, {"Views", false}}, true, "Views shop data root",
     "root=M data=M shop=M Tables=C t1=C t1.keys=C t2=C t2.keys=C Views=U Trigger=C",
     "Tables t1 t1.keys t2 t2.keys Trigger"},
    {"an only child out of a full tree", {{"root", true}, {"t2.keys", false}}, true,
     "t2.keys t2 Tables shop data root",
     "root=M data=M shop=M Tables=M t1=C t1.keys=C t2=U t2.keys=U Views=C Trigger=C",
     "t1 t1.keys Views Trigger"},
    {"an only child checks its parent", {{"t1.keys", true}}, true, "t1.keys t1 Tables shop data root",
     "root=M data=M shop=M Tables=M t1=C t1.keys=C t2=U t2.keys=U Views=U Trigger=U", "t1 t1.keys"},
    {"both tables check Tables", {{"t1", true}, {"t2", true}}, true, "t2 t2.keys Tables shop data root",
     "root=M data=M shop=M Tables=C t1=C t1.keys=C t2=C t2.keys=C Views=U Trigger=U",
     "Tables t1 t1.keys t2 t2.keys"},
    {"the last leaf completes the tree",
     {{"Tables", true}, {"Views", true}, {"Trigger", true}}, true, "Trigger shop data root",
     "root=C data=C shop=C Tables=C t1=C t1.keys=C t2=C t2.keys=C Views=C Trigger=C",
     "root data shop Tables t1 t1.keys t2 t2.keys Views Trigger"},
    {"unchecking undoes checking", {{"t1", true}, {"t1", false}}, true, "t1 t1.keys Tables shop data root",
     "root=U data=U shop=U Tables=U t1=U t1.keys=U t2=U t2.keys=U Views=U Trigger=U", ""},
    {"checking twice changes nothing", {{"t1", true}, {"t1", true}}, false, "",
     "root=M data=M shop=M Tables=M t1=C t1.keys=C t2=U t2.keys=U Views=U Trigger=U", "t1 t1.keys"},
};

TEST(CheckTree, SubtreesAndCounts) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ShopTree t;
    std::vector<NodeId> reported;
    bool changes = false;
    for (const Step& step : c.steps) {
      reported.clear();
      changes = t.checks.setCheck(t.ids.at(step.label), step.checked,
                                  [&](NodeId id) { reported.push_back(id); });
    }
    EXPECT_EQ(changes, c.lastChanges);
    EXPECT_EQ(t.labels(reported), c.reported);
    EXPECT_EQ(t.states(), c.states);
    const std::vector<NodeId> checked = t.checks.checkedItems();
    EXPECT_EQ(t.labels(checked), c.checked);
    EXPECT_EQ(t.checks.checkedCount(), int32_t(checked.size()));
    for (size_t id = 0; id < t.tree.size(); ++id) {
      EXPECT_EQ(t.checks.record(NodeId(id)).checkedDescendants, t.checkedBelow(NodeId(id))) << id;
    }
  }
}

TEST(CheckTree, ANewChildUnderAFullParentMakesItMixed) {
  CheckTree checks;
  const NodeId grandparent = checks.insert(kNoNode);
  const NodeId parent = checks.insert(grandparent);
  checks.insert(parent);
  ASSERT_TRUE(checks.setCheck(parent, true));
  ASSERT_EQ(checks.record(grandparent).checkedDescendants, 2);

  const NodeId added = checks.insert(parent);
  EXPECT_EQ(added, 3);
  EXPECT_EQ(checks.record(parent).descendantCount, 2);
  EXPECT_EQ(checks.record(parent).checkedDescendants, 1);
  EXPECT_FALSE(checks.record(parent).checked);
  EXPECT_EQ(checks.state(parent), CheckState::Mixed);
  // The parent's turn reaches the grandparent as one checked item fewer.
  EXPECT_EQ(checks.record(grandparent).descendantCount, 3);
  EXPECT_EQ(checks.record(grandparent).checkedDescendants, 1);
  EXPECT_EQ(checks.state(grandparent), CheckState::Mixed);
}

TEST(CheckTree, ADisabledItemIsSetOnlyThroughWhatIsBelowIt) {
  ShopTree t;
  const NodeId t1 = t.ids.at("t1");
  t.checks.setEnabled(t1, false);
  EXPECT_FALSE(t.checks.setCheck(t1, true));
  EXPECT_FALSE(t.checks.setCheck(NodeId(t.tree.size()), true));
  EXPECT_FALSE(t.checks.setCheck(kNoNode, true));
  EXPECT_EQ(t.checks.checkedCount(), 0);

  ASSERT_TRUE(t.checks.setCheck(t.ids.at("Tables"), true));
  EXPECT_FALSE(t.checks.record(t1).checked);
  EXPECT_EQ(t.checks.record(t1).checkedDescendants, 0);
  EXPECT_TRUE(t.checks.record(t.ids.at("t1.keys")).checked);
  EXPECT_EQ(t.labels(t.checks.checkedItems()), "Tables t1.keys t2 t2.keys");
}

TEST(CheckTree, ClearLeavesNothingChecked) {
  ShopTree t;
  t.checks.setCheck(t.ids.at("root"), true);
  t.checks.clear();
  EXPECT_EQ(t.checks.size(), 0u);
  EXPECT_EQ(t.checks.checkedCount(), 0);
  EXPECT_TRUE(t.checks.checkedItems().empty());
}

}  // namespace
}  // namespace tavrin
