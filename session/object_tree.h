#pragma once
// The object tree that the scan builds: databases with their tables, views
// and triggers. The item data of a node says what it stands for.

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

// Negative item data name a node kind; a positive k points at entry k - 1 of
// the session list that the parent's item data chooses.
namespace ItemData {
inline constexpr int32_t Container = -1;
inline constexpr int32_t Keys = -2;
inline constexpr int32_t TriggersGroup = -3;
inline constexpr int32_t ViewsGroup = -4;
}  // namespace ItemData

// Indices into the tree's 16x16 image list.
namespace TreeImage {
inline constexpr int32_t Folder = 0;
inline constexpr int32_t Keys = 2;
inline constexpr int32_t Views = 15;
inline constexpr int32_t Triggers = 21;
}  // namespace TreeImage

using NodeId = int32_t;
inline constexpr NodeId kNoNode = -1;

struct TreeNode {
  std::string label;
  int32_t image = 0;
  int32_t selectedImage = 0;
  int32_t itemData = 0;
  NodeId parent = kNoNode;
  int32_t row = 0;               // among its parent's children (or the roots)
  std::vector<NodeId> children;  // in insertion order
  bool expanded = false;
};

class ObjectTree {
 public:
  // Appends a node after the existing children of `parent` (a root without one).
  NodeId insert(NodeId parent, std::string label, int32_t image);
  void setItemData(NodeId node, int32_t itemData) { nodes_[size_t(node)].itemData = itemData; }
  void expand(NodeId node) { nodes_[size_t(node)].expanded = true; }
  void clear() { nodes_.clear(); roots_.clear(); }

  const TreeNode& node(NodeId id) const { return nodes_[size_t(id)]; }
  const std::vector<NodeId>& roots() const { return roots_; }
  size_t size() const { return nodes_.size(); }
  bool empty() const { return nodes_.empty(); }
  // The first child of `parent` with this label, or kNoNode.
  NodeId findChild(NodeId parent, const std::string& label) const;

 private:
  std::vector<TreeNode> nodes_;
  std::vector<NodeId> roots_;
};

}  // namespace tavrin
