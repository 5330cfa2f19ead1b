// Scene tree operations, posing, sizes and the custom object callbacks of delete and clone.
#include "stage/Scene.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace stage {

namespace {

void CollectPreOrder(TNode& node, std::vector<TNode*>& out) {
  out.push_back(&node);
  for (const auto& child : node.Children()) CollectPreOrder(*child, out);
}

void Grow(CtsxVector3f& min, CtsxVector3f& max, const CtsxVector3f& p) {
  min = {std::fmin(min.x, p.x), std::fmin(min.y, p.y), std::fmin(min.z, p.z)};
  max = {std::fmax(max.x, p.x), std::fmax(max.y, p.y), std::fmax(max.z, p.z)};
}

double ColumnLength(const CtsxTxmx3f& m, int c) {
  const double x = m.m[0][c], y = m.m[1][c], z = m.m[2][c];
  return std::sqrt(x * x + y * y + z * z);
}

}  // namespace

void TScene::Register(TNode& node) {
  Live_.insert(&node);
  node.PoseFrame = Time_;
}

void TScene::Unregister(TNode& node) {
  Live_.erase(&node);
  if (Selected_ == &node) Selected_ = nullptr;
}

void TScene::CheckParent(TNode* parent) const {
  if (parent && !Live_.count(parent)) throw std::invalid_argument("parent is not a node of the scene");
}

TNode& TScene::Insert(std::unique_ptr<TNode> node, TNode* parent) {
  CheckParent(parent);
  TNode& ref = *node;
  ref.Parent_ = parent;
  Register(ref);
  SiblingsOf(parent).push_back(std::move(node));
  return ref;
}

TNode& TScene::AddGroup(const std::string& name, TNode* parent) {
  return Insert(std::make_unique<TNode>(TNodeKind::Group, name), parent);
}

TNode& TScene::AddPolyhedron(const std::string& name, TPolyhedron mesh, TNode* parent,
                             std::optional<TMeshSource> source) {
  auto node = std::make_unique<TNode>(TNodeKind::Polyhedron, name);
  node->Mesh = std::move(mesh);
  node->Source = std::move(source);
  return Insert(std::move(node), parent);
}

TNode& TScene::AddPrimitive(const std::string& name, const TMeshSource& source, TNode* parent) {
  return AddPolyhedron(name, BuildPrimitive(source), parent, source);
}

TNode* TScene::CreateCustom(int type) {
  const TObjectType* t = Types_.Find(type);
  if (!t) return nullptr;
  auto node = std::make_unique<TNode>(TNodeKind::Custom, std::string());
  node->CustomType = t->Number;
  node->TypeName = t->Name;
  TNode& ref = *node;
  Register(ref);
  Detached_.push_back(std::move(node));
  return &ref;
}

TNode& TScene::AddUnresolvedCustom(const std::string& name, const std::string& typeName,
                                   std::vector<uint8_t> payload, TNode* parent) {
  auto node = std::make_unique<TNode>(TNodeKind::Custom, name);
  node->TypeName = typeName;
  node->StoredPayload = std::move(payload);
  return Insert(std::move(node), parent);
}

bool TScene::AddToScene(TNode& node, TNode* parent) {
  const auto it = std::find_if(Detached_.begin(), Detached_.end(),
                               [&](const auto& p) { return p.get() == &node; });
  if (it == Detached_.end() || &node == parent || (parent && !Live_.count(parent))) return false;
  std::unique_ptr<TNode> owned = std::move(*it);
  Detached_.erase(it);
  owned->Parent_ = parent;
  SiblingsOf(parent).push_back(std::move(owned));
  return true;
}

bool TScene::Reparent(TNode& node, TNode* parent) {
  if (!Live_.count(&node) || (parent && !Live_.count(parent))) return false;
  auto& from = SiblingsOf(node.Parent());
  const auto it = std::find_if(from.begin(), from.end(), [&](const auto& p) { return p.get() == &node; });
  if (it == from.end()) return false;  // detached
  for (TNode* p = parent; p; p = p->Parent())
    if (p == &node) return false;
  if (parent) {
    const TNode* top = parent;
    while (top->Parent()) top = top->Parent();
    if (std::none_of(Roots_.begin(), Roots_.end(), [&](const auto& r) { return r.get() == top; })) return false;
  }
  std::unique_ptr<TNode> moved = std::move(*it);
  from.erase(it);
  moved->Parent_ = parent;
  SiblingsOf(parent).push_back(std::move(moved));
  return true;
}

void TScene::Delete(TNode& node) {
  if (!Live_.count(&node)) return;
  std::vector<TNode*> doomed;
  CollectPreOrder(node, doomed);
  // The plug-in drops its data first; a callback may itself delete nodes, so each is checked.
  for (TNode* n : doomed) {
    if (!Live_.count(n) || n->Kind() != TNodeKind::Custom) continue;
    if (const TObjectType* t = Types_.Find(n->CustomType); t && t->Callbacks.onDelete)
      t->Callbacks.onDelete(Handle(n));
  }
  if (!Live_.count(&node)) return;
  doomed.clear();
  CollectPreOrder(node, doomed);
  const TNode* selected = Selected_;
  for (TNode* n : doomed) Unregister(*n);

  const bool detached = std::any_of(Detached_.begin(), Detached_.end(),
                                    [&](const auto& p) { return p.get() == &node; });
  auto& owner = detached ? Detached_ : SiblingsOf(node.Parent());
  owner.erase(std::find_if(owner.begin(), owner.end(), [&](const auto& p) { return p.get() == &node; }));
  // Told once the subtree is gone, so that whoever hears of it finds the scene whole.
  if (selected && !Selected_ && OnSelectionChanged) OnSelectionChanged();
}

std::unique_ptr<TNode> TScene::CopyTree(const TNode& node,
                                        std::vector<std::pair<TNode*, TNode*>>& pairs) {
  auto copy = std::make_unique<TNode>(node.Kind(), node.Name);
  copy->Position = node.Position;
  copy->Rotation = node.Rotation;
  copy->Scale = node.Scale;
  copy->Color = node.Color;
  copy->Visible = node.Visible;
  copy->Mesh = node.Mesh;
  copy->Source = node.Source;
  copy->CustomType = node.CustomType;
  copy->TypeName = node.TypeName;
  copy->StoredPayload = node.StoredPayload;
  copy->StoredSettings = node.StoredSettings;
  Register(*copy);
  copy->PoseFrame = node.PoseFrame;
  pairs.emplace_back(const_cast<TNode*>(&node), copy.get());
  for (const auto& child : node.Children()) {
    auto c = CopyTree(*child, pairs);
    c->Parent_ = copy.get();
    copy->Children_.push_back(std::move(c));
  }
  return copy;
}

TNode& TScene::Clone(TNode& node) {
  if (!Live_.count(&node)) throw std::invalid_argument("clone of a node that is not in the scene");
  std::vector<std::pair<TNode*, TNode*>> pairs;
  std::unique_ptr<TNode> copy = CopyTree(node, pairs);
  TNode& ref = *copy;
  const bool detached = std::any_of(Detached_.begin(), Detached_.end(),
                                    [&](const auto& p) { return p.get() == &node; });
  auto& owner = detached ? Detached_ : SiblingsOf(node.Parent());
  const auto at = std::find_if(owner.begin(), owner.end(), [&](const auto& p) { return p.get() == &node; });
  ref.Parent_ = detached ? nullptr : node.Parent();
  owner.insert(at + 1, std::move(copy));

  for (auto [original, clone] : pairs) {
    if (original->Kind() != TNodeKind::Custom || !Live_.count(original) || !Live_.count(clone))
      continue;
    if (const TObjectType* t = Types_.Find(original->CustomType); t && t->Callbacks.onClone)
      t->Callbacks.onClone(Handle(original), Handle(clone));
  }
  return ref;
}

void TScene::Clear() {
  while (!Roots_.empty()) Delete(*Roots_.front());
  while (!Detached_.empty()) Delete(*Detached_.front());
  SetSelected(nullptr);
}

TNode* TScene::FromHandle(const void* handle) const {
  const auto* node = static_cast<const TNode*>(handle);
  return Live_.count(node) ? const_cast<TNode*>(node) : nullptr;
}

void TScene::ForEach(const std::function<void(TNode&)>& visit) const {
  std::vector<TNode*> all;
  for (const auto& root : Roots_) CollectPreOrder(*root, all);
  for (TNode* n : all) visit(*n);
}

TNode* TScene::FindByName(const std::string& name) const {
  TNode* found = nullptr;
  ForEach([&](TNode& n) {
    if (!found && n.Name == name) found = &n;
  });
  return found;
}

TNode* TScene::RootOf(TNode& node) const {
  TNode* n = &node;
  while (n->Parent()) n = n->Parent();
  return n;
}

CtsxTxmx3f TScene::WorldTransform(const TNode& node) const {
  CtsxTxmx3f m = node.Local();
  for (const TNode* p = node.Parent(); p; p = p->Parent()) {
    const CtsxTxmx3f parent = p->Local();
    tsxXProdMx3f(&m, &parent, &m);
  }
  return m;
}

bool TScene::LocalBounds(const TNode& node, CtsxVector3f& min, CtsxVector3f& max) const {
  bool any = false;
  auto add = [&](const CtsxVector3f& lo, const CtsxVector3f& hi) {
    if (!any) {
      min = lo;
      max = hi;
      any = true;
    } else {
      Grow(min, max, lo);
      Grow(min, max, hi);
    }
  };

  if (node.Mesh) {
    CtsxVector3f lo, hi;
    if (node.Mesh->Bounds(lo, hi)) add(lo, hi);
  } else if (node.Kind() == TNodeKind::Custom) {
    const TObjectType* t = Types_.Find(node.CustomType);
    if (t && t->Callbacks.onBoundingBox) {
      float box[6] = {9999, 9999, 9999, -9999, -9999, -9999};
      CtsxTxmx3f identity{};
      identity.m[0][0] = identity.m[1][1] = identity.m[2][2] = 1;
      t->Callbacks.onBoundingBox(Handle(&node), box, &identity);
      // A box the plug-in left unwritten (or wrote inside out) bounds nothing.
      if (box[0] <= box[3] && box[1] <= box[4] && box[2] <= box[5]) add({box[0], box[1], box[2]}, {box[3], box[4], box[5]});
    }
  }

  for (const auto& child : node.Children()) {
    CtsxVector3f lo, hi;
    if (!LocalBounds(*child, lo, hi)) continue;
    const CtsxTxmx3f m = child->Local();
    for (int c = 0; c < 8; ++c) {
      const CtsxVector3f corner{c & 1 ? hi.x : lo.x, c & 2 ? hi.y : lo.y, c & 4 ? hi.z : lo.z};
      CtsxVector3f p;
      tsxTransformVect3f(&corner, &p, &m);
      add(p, p);
    }
  }
  return any;
}

CtsxVector3f TScene::Size(const TNode& node) const {
  CtsxVector3f lo, hi;
  if (!LocalBounds(node, lo, hi)) return {0, 0, 0};
  const CtsxTxmx3f m = WorldTransform(node);
  return {static_cast<float>((static_cast<double>(hi.x) - lo.x) * ColumnLength(m, 0)),
          static_cast<float>((static_cast<double>(hi.y) - lo.y) * ColumnLength(m, 1)),
          static_cast<float>((static_cast<double>(hi.z) - lo.z) * ColumnLength(m, 2))};
}

void TScene::SetTime(float frame) {
  if (!std::isfinite(frame)) return;
  Time_ = frame;
  for (const TNode* n : Live_) const_cast<TNode*>(n)->PoseFrame = frame;
}

void TScene::PoseObject(TNode& node, float frame) {
  if (!std::isfinite(frame) || !Live_.count(&node)) return;
  // The object's world transform composes its parents': they are posed with it, as setting the
  // scene's time would pose them, so that the object stands where it is at that frame.
  for (TNode* n = &node; n; n = n->Parent()) n->PoseFrame = frame;
}

void TScene::SetSelected(TNode* node) {
  if (node == Selected_) return;
  Selected_ = node;
  if (OnSelectionChanged) OnSelectionChanged();
}

void TScene::Select(TNode* node) {
  if (!node || Live_.count(node)) SetSelected(node);
}

void TScene::SelectUp() {
  if (Selected_ && Selected_->Parent()) SetSelected(Selected_->Parent());
}

}  // namespace stage
