// Custom object type registry.
#include "stage/ObjectTypes.h"

namespace stage {

int TObjectTypes::Define(int pluginId, const std::string& name,
                         const tsxSOBJCALLBACKS* callbacks) {
  if (name.empty() || !callbacks) return 0;
  for (TObjectType& t : Types_)
    if (t.Name == name) {
      t.PluginId = pluginId;
      t.Callbacks = *callbacks;
      return t.Number;
    }
  const int number = tsxTYPE_FIRST_CUSTOM + static_cast<int>(Types_.size());
  if (number > tsxTYPE_LAST_CUSTOM) return 0;
  Types_.push_back({number, pluginId, name, *callbacks, nullptr, nullptr});
  return number;
}

bool TObjectTypes::SetPayloadText(const std::string& name, tsxPAYLOADCONVERTFUNC toText,
                                  tsxPAYLOADCONVERTFUNC toPayload) {
  for (TObjectType& t : Types_)
    if (t.Name == name) {
      t.PayloadToText = toText;
      t.TextToPayload = toPayload;
      return true;
    }
  return false;
}

const TObjectType* TObjectTypes::Find(int number) const {
  const int index = number - tsxTYPE_FIRST_CUSTOM;
  if (index < 0 || index >= static_cast<int>(Types_.size())) return nullptr;
  return &Types_[static_cast<size_t>(index)];
}

const TObjectType* TObjectTypes::FindByName(const std::string& name) const {
  for (const TObjectType& t : Types_)
    if (t.Name == name) return &t;
  return nullptr;
}

}  // namespace stage
