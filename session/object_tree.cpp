#include "session/object_tree.h"

namespace tavrin {

NodeId ObjectTree::insert(NodeId parent, std::string label, int32_t image) {
  NodeId id = NodeId(nodes_.size());
  TreeNode node;
  node.label = std::move(label);
  node.image = image;
  node.selectedImage = image;
  node.parent = parent;
  node.row = int32_t(parent == kNoNode ? roots_.size() : nodes_[size_t(parent)].children.size());
  nodes_.push_back(std::move(node));
  if (parent == kNoNode) roots_.push_back(id);
  else nodes_[size_t(parent)].children.push_back(id);
  return id;
}

NodeId ObjectTree::findChild(NodeId parent, const std::string& label) const {
  const std::vector<NodeId>& siblings = parent == kNoNode ? roots_ : nodes_[size_t(parent)].children;
  for (NodeId child : siblings) {
    if (nodes_[size_t(child)].label == label) return child;
  }
  return kNoNode;
}

}  // namespace tavrin
