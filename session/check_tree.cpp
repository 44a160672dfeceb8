#include "session/check_tree.h"

#include <algorithm>

namespace tavrin {
namespace {

// Takes `delta` more checked items below `ancestor` and returns the delta for
// its parent: the same, plus or minus one when the ancestor itself turned.
int32_t updateAncestor(CheckRecord& ancestor, int32_t delta) {
  const bool was = ancestor.checked;
  ancestor.checkedDescendants = std::max(0, ancestor.checkedDescendants + delta);
  ancestor.checked = ancestor.checkedDescendants == ancestor.descendantCount;
  if (ancestor.checked == was) return delta;
  return ancestor.checked ? delta + 1 : delta - 1;
}

}  // namespace

NodeId CheckTree::insert(NodeId parent, bool checked) {
  const NodeId id = NodeId(items_.size());
  Item item;
  item.record.checked = checked;
  item.parent = parent;
  items_.push_back(std::move(item));
  (parent == kNoNode ? roots_ : items_[size_t(parent)].children).push_back(id);
  // The update runs even for an unchecked item: a fully checked ancestor
  // stops being so when it gains one.
  int32_t delta = checked ? 1 : 0;
  for (NodeId a = parent; a != kNoNode; a = items_[size_t(a)].parent) {
    ++items_[size_t(a)].record.descendantCount;
    delta = updateAncestor(items_[size_t(a)].record, delta);
  }
  return id;
}

void CheckTree::mirror(const ObjectTree& tree) {
  clear();
  // A node's parent always has a smaller id, so inserting in id order keeps the ids.
  for (size_t id = 0; id < tree.size(); ++id) insert(tree.node(NodeId(id)).parent);
}

CheckState CheckTree::state(NodeId item) const {
  const CheckRecord& r = record(item);
  if (r.descendantCount == 0) return r.checked ? CheckState::Checked : CheckState::Unchecked;
  if (r.checkedDescendants == 0) return CheckState::Unchecked;
  return r.checkedDescendants == r.descendantCount ? CheckState::Checked : CheckState::Mixed;
}

bool CheckTree::setCheck(NodeId item, bool checked, const ChangedItem& changed) {
  if (!contains(item) || !record(item).enabled || record(item).checked == checked) return false;
  const CheckRecord& r = record(item);
  // Counted before the subtree is set: what the item and its subtree add or take away.
  const int32_t delta =
      checked ? r.descendantCount - r.checkedDescendants + 1 : -(r.checkedDescendants + 1);
  setSubtree(item, checked, changed);
  updateAncestors(items_[size_t(item)].parent, delta, changed);
  return true;
}

// A disabled item below keeps its record, but the items below it still follow.
void CheckTree::setSubtree(NodeId item, bool checked, const ChangedItem& changed) {
  preorder({item}, [&](NodeId id) {
    CheckRecord& r = items_[size_t(id)].record;
    if (r.enabled || id == item) {
      r.checked = checked;
      r.checkedDescendants = checked ? r.descendantCount : 0;
    }
    if (changed) changed(id);
  });
}

void CheckTree::updateAncestors(NodeId parent, int32_t delta, const ChangedItem& changed) {
  for (NodeId a = parent; a != kNoNode; a = items_[size_t(a)].parent) {
    delta = updateAncestor(items_[size_t(a)].record, delta);
    if (changed) changed(a);
  }
}

// An item with descendants counts when they are all checked; a leaf when it is.
// So a checked subtree counts once for every item in it.
bool CheckTree::counts(NodeId item) const {
  const CheckRecord& r = record(item);
  if (r.descendantCount > 0) return r.checkedDescendants > 0 && r.checkedDescendants == r.descendantCount;
  return r.checked;
}

std::vector<NodeId> CheckTree::checkedItems() const {
  std::vector<NodeId> out;
  preorder(roots_, [&](NodeId id) {
    if (counts(id)) out.push_back(id);
  });
  return out;
}

// Depth first, an item before its children, without recursion.
void CheckTree::preorder(const std::vector<NodeId>& starts, const std::function<void(NodeId)>& visit) const {
  std::vector<NodeId> pending(starts.rbegin(), starts.rend());
  while (!pending.empty()) {
    const NodeId id = pending.back();
    pending.pop_back();
    visit(id);
    const std::vector<NodeId>& children = items_[size_t(id)].children;
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
}

int32_t CheckTree::checkedCount() const {
  int32_t count = 0;
  for (size_t id = 0; id < items_.size(); ++id) count += counts(NodeId(id)) ? 1 : 0;
  return count;
}

}  // namespace tavrin
