// Converting payloads to readable settings and back for the host, by object type name.
#include "plugin/PayloadText.h"

#include <exception>

#include "hostapi/CheckFpuState.h"
#include "plugin/tsxExtObj.h"
#include "plugin/tsxPlug.h"
#include "scene/Settings.h"

namespace {

void Send(tsxTEXTSINK sink, void* context, const std::string& text) {
  if (sink) sink(context, text.data(), text.size());
}

// The host's converter calls share one shell: the object type checked, every failure turned
// into the message the host reads ("JSON pointer\nproblem"), and the floating-point flags left
// clean. convert hands its result to the sink.
template <typename TConvert>
int Converting(const char* typeName, tsxTEXTSINK sink, void* context, TConvert convert) {
  int result = 0;
  try {
    TSettingsKind kind;
    TToolKind tool;
    if (!SettingsKindOfType(typeName, kind, tool)) {
      Send(sink, context, "\nnot an object type of this plug-in");
    } else {
      convert(kind, tool);
      result = 1;
    }
  } catch (const ESettingsError& e) {
    Send(sink, context, e.Path + "\n" + e.Problem);
  } catch (const std::exception& e) {
    Send(sink, context, std::string("\n") + e.what());
  } catch (...) {
  }
  ClearFpuExceptions();
  return result;
}

}  // namespace

bool SettingsKindOfType(const char* typeName, TSettingsKind& kind, TToolKind& tool) {
  if (!typeName) return false;
  const std::string name = typeName;
  if (name == "VNTX_Emitter") {
    kind = TSettingsKind::Emitter;
    tool = ToolNone;
    return true;
  }
  for (TToolKind k : {ToolDeflector, ToolFan, ToolAttractor, ToolRepulsor, ToolLeader, ToolGravitron}) {
    if (name == ToolTypeName(k)) {
      kind = TSettingsKind::Tool;
      tool = k;
      return true;
    }
  }
  return false;
}

extern "C" int VantrelPayloadToText(const char* typeName, const void* data, size_t size, tsxTEXTSINK sink,
                                    void* context) {
  return Converting(typeName, sink, context, [&](TSettingsKind kind, TToolKind) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    const std::vector<uint8_t> payload(bytes, bytes + (bytes ? size : 0));
    Send(sink, context, SettingsText(PayloadToSettings(kind, payload)));
  });
}

extern "C" int VantrelTextToPayload(const char* typeName, const void* data, size_t size, tsxTEXTSINK sink,
                                    void* context) {
  return Converting(typeName, sink, context, [&](TSettingsKind kind, TToolKind tool) {
    const std::string text(static_cast<const char*>(data), data ? size : 0);
    const std::vector<uint8_t> payload = SettingsToPayload(kind, ParseSettingsText(text), tool);
    if (sink) sink(context, reinterpret_cast<const char*>(payload.data()), payload.size());
  });
}

void OfferPayloadText(const std::string& typeName) {
  using TSetFunc = void (*)(const char*, tsxPAYLOADCONVERTFUNC, tsxPAYLOADCONVERTFUNC);
  const auto set = reinterpret_cast<TSetFunc>(LookUpHostFunction("tsxHostSetPayloadText"));
  if (set) set(typeName.c_str(), &VantrelPayloadToText, &VantrelTextToPayload);
}
