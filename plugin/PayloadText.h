// The plug-in's side of readable settings in a host's scene files: converters between an
// emitter's or a tool's payload and its JSON settings, handed to a host that asks for them
// through tsxHostSetPayloadText. A host without that function never sees them, and keeps the
// payloads as bytes.
#pragma once

#include <string>

#include "hostapi/TsxApi5.h"
#include "scene/Settings.h"

// Which record an object type's payload holds (an emitter's or a tool's, and which tool); false
// for a type that is not the plug-in's.
bool SettingsKindOfType(const char* typeName, TSettingsKind& kind, TToolKind& tool);

// Hands the host the converters of one of the plug-in's object types, if the host takes them.
void OfferPayloadText(const std::string& typeName);

// The converters themselves (tsxPAYLOADCONVERTFUNC): nothing is thrown to the caller.
extern "C" int VantrelPayloadToText(const char* typeName, const void* data, size_t size, tsxTEXTSINK sink,
                                    void* context);
extern "C" int VantrelTextToPayload(const char* typeName, const void* data, size_t size, tsxTEXTSINK sink,
                                    void* context);
