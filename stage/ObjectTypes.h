// The custom object types plug-ins define: their names, numbers and callback tables. Numbers are
// handed out below 100 in definition order, starting at tsxTYPE_FIRST_CUSTOM.
#pragma once

#include <string>
#include <vector>

#include "hostapi/TsxApi5.h"

namespace stage {

struct TObjectType {
  int Number = 0;
  int PluginId = 0;
  std::string Name;
  tsxSOBJCALLBACKS Callbacks{};
  // The plug-in's converters between this type's payload and readable JSON settings
  // (tsxHostSetPayloadText); null when it offered none, and payloads are then kept as bytes.
  tsxPAYLOADCONVERTFUNC PayloadToText = nullptr;
  tsxPAYLOADCONVERTFUNC TextToPayload = nullptr;
};

class TObjectTypes {
 public:
  // Answers the new number, or 0 when the name is empty, the table missing, or the numbers are
  // used up. A name already defined keeps its number and takes the new table.
  int Define(int pluginId, const std::string& name, const tsxSOBJCALLBACKS* callbacks);
  // Keeps a type's payload converters; false when no type has that name.
  bool SetPayloadText(const std::string& name, tsxPAYLOADCONVERTFUNC toText, tsxPAYLOADCONVERTFUNC toPayload);
  const TObjectType* Find(int number) const;
  const TObjectType* FindByName(const std::string& name) const;
  const std::vector<TObjectType>& All() const { return Types_; }

 private:
  std::vector<TObjectType> Types_;
};

}  // namespace stage
