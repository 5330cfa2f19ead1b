// The stage's scene: a tree of nodes (ordered children, parents, roots), the active time that
// poses them, the selection, and the host's side of the custom object callbacks: deleting or
// cloning a custom object calls its type's delete or clone callback, and sizes of custom objects
// come from their bounding-box callback.
//
// Nodes are owned by the scene; a TNode& or handle stays valid until that node is deleted or the
// scene cleared. Handles from outside (the plug-in's) are checked with FromHandle.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "hostapi/TsxApi5.h"
#include "stage/MeshSource.h"
#include "stage/Node.h"
#include "stage/ObjectTypes.h"

namespace stage {

class TScene {
 public:
  explicit TScene(const TObjectTypes& types) : Types_(types) {}
  // Destroys the nodes without calling any plug-in callback (the plug-in may be gone).
  ~TScene() = default;
  TScene(const TScene&) = delete;
  TScene& operator=(const TScene&) = delete;

  // ---- Building. parent null means the top level. Throws std::invalid_argument for a parent
  // that is not a live node of this scene.
  TNode& AddGroup(const std::string& name, TNode* parent = nullptr);
  TNode& AddPolyhedron(const std::string& name, TPolyhedron mesh, TNode* parent = nullptr,
                       std::optional<TMeshSource> source = std::nullopt);
  // Builds the primitive (throws std::invalid_argument for bad parameters).
  TNode& AddPrimitive(const std::string& name, const TMeshSource& source, TNode* parent = nullptr);
  // A new custom object of a defined type, not yet in the scene (tsxObjectCreate); null for an
  // unknown type.
  TNode* CreateCustom(int type);
  // A custom object whose type no plug-in defined, kept with its stored payload.
  TNode& AddUnresolvedCustom(const std::string& name, const std::string& typeName,
                             std::vector<uint8_t> payload, TNode* parent = nullptr);
  // Puts a node made by CreateCustom into the scene under parent; false if it is not a
  // detached node of this scene.
  bool AddToScene(TNode& node, TNode* parent = nullptr);

  // Moves an attached node with its subtree to the end of parent's children (null: the top
  // level), keeping its local keys. False, and nothing moves, for a parent that is not an
  // attached node of this scene or lies inside the node's own subtree.
  bool Reparent(TNode& node, TNode* parent);

  // Deletes the node and its subtree, calling the delete callback of every custom object in
  // it first (parents before children).
  void Delete(TNode& node);
  // Copies the node and its subtree next to it (the copy follows the original under the same
  // parent), then calls the clone callback (original, copy) of every custom object in it.
  // Answers the copy.
  TNode& Clone(TNode& node);
  // Deletes every node as Delete does.
  void Clear();

  const std::vector<std::unique_ptr<TNode>>& Roots() const { return Roots_; }
  bool Empty() const { return Roots_.empty(); }
  // The live node behind a handle, or null (for null, deleted or foreign handles).
  TNode* FromHandle(const void* handle) const;
  static tsxGNODE* Handle(const TNode* node) {
    return reinterpret_cast<tsxGNODE*>(const_cast<TNode*>(node));
  }
  // The first attached node of that name in depth-first order, or null.
  TNode* FindByName(const std::string& name) const;
  // Every attached node, depth first, parents before children.
  void ForEach(const std::function<void(TNode&)>& visit) const;
  TNode* RootOf(TNode& node) const;

  // ---- Transforms. Object-to-world at each node's pose.
  CtsxTxmx3f WorldTransform(const TNode& node) const;
  // Extents of the node's bounding box along its own axes in world units (its geometry, its
  // children's, and the scale of its transform); zero for a node with nothing to bound.
  CtsxVector3f Size(const TNode& node) const;
  // The node's bounding box in its own space, children included; false when it has none.
  bool LocalBounds(const TNode& node, CtsxVector3f& min, CtsxVector3f& max) const;

  // ---- Time. Setting it poses every node. PoseObject poses one node and its chain of parents
  // (so its world transform is the one it has at that frame); every other node keeps its own
  // pose frame, though the children of a posed parent move with it.
  float Time() const { return Time_; }
  void SetTime(float frame);
  void PoseObject(TNode& node, float frame);

  // ---- Selection. OnSelectionChanged is called after the selected node became another one or
  // none, once per change: by Select and SelectUp, and by Delete and Clear when the selected node
  // goes (after it has gone). Selecting the selected node again calls nothing.
  TNode* Selected() const { return Selected_; }
  void Select(TNode* node);
  // Selects the parent of the selection, if it has one.
  void SelectUp();
  std::function<void()> OnSelectionChanged;

 private:
  TNode& Insert(std::unique_ptr<TNode> node, TNode* parent);
  std::vector<std::unique_ptr<TNode>>& SiblingsOf(TNode* parent) { return parent ? parent->Children_ : Roots_; }
  void CheckParent(TNode* parent) const;
  std::unique_ptr<TNode> CopyTree(const TNode& node, std::vector<std::pair<TNode*, TNode*>>& pairs);
  void Register(TNode& node);
  void Unregister(TNode& node);
  void SetSelected(TNode* node);

  const TObjectTypes& Types_;
  std::vector<std::unique_ptr<TNode>> Roots_;
  std::vector<std::unique_ptr<TNode>> Detached_;
  std::unordered_set<const TNode*> Live_;
  float Time_ = 0;
  TNode* Selected_ = nullptr;
};

}  // namespace stage
