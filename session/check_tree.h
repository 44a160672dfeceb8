#pragma once
// The check boxes of the object tree. Checking works on whole subtrees and
// every item keeps counts of what lies below it, so a box shows checked,
// unchecked or mixed and the Save command can ask how many items it takes.
// Views and item models only adapt this class; it uses the object tree's
// node ids, so the window mirrors the session's tree without a second id space.

#include <cstdint>
#include <functional>
#include <vector>

#include "session/object_tree.h"

namespace tavrin {

enum class CheckState { Unchecked, Checked, Mixed };

struct CheckRecord {
  bool checked = false;
  bool enabled = true;
  int32_t descendantCount = 0;     // items below, all levels
  int32_t checkedDescendants = 0;  // checked items below, all levels; never below 0
};

class CheckTree {
 public:
  // Told of each item whose shown state may have changed.
  using ChangedItem = std::function<void(NodeId)>;

  // Appends an item after the existing children of `parent` (a root without one).
  NodeId insert(NodeId parent, bool checked = false);
  // Replaces the items with one unchecked item per node of `tree`, same ids.
  void mirror(const ObjectTree& tree);
  void setEnabled(NodeId item, bool enabled) { items_[size_t(item)].record.enabled = enabled; }
  // Checks or unchecks `item` with everything below it and recounts its
  // ancestors. False when nothing changed: the item was disabled, unknown or
  // already so. `changed` hears of the item, its subtree and its ancestors.
  bool setCheck(NodeId item, bool checked, const ChangedItem& changed = nullptr);
  void clear() { items_.clear(); roots_.clear(); }

  const CheckRecord& record(NodeId item) const { return items_[size_t(item)].record; }
  CheckState state(NodeId item) const;
  size_t size() const { return items_.size(); }
  // The items a save takes, in tree order, and how many they are.
  std::vector<NodeId> checkedItems() const;
  int32_t checkedCount() const;

 private:
  struct Item {
    CheckRecord record;
    NodeId parent = kNoNode;
    std::vector<NodeId> children;
  };

  bool contains(NodeId item) const { return item >= 0 && size_t(item) < items_.size(); }
  bool counts(NodeId item) const;
  void setSubtree(NodeId item, bool checked, const ChangedItem& changed);
  void updateAncestors(NodeId parent, int32_t delta, const ChangedItem& changed);
  void preorder(const std::vector<NodeId>& starts, const std::function<void(NodeId)>& visit) const;

  std::vector<Item> items_;
  std::vector<NodeId> roots_;
};

}  // namespace tavrin
