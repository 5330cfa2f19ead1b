// Ids of the plug-in's scene objects (emitter objects, their system slots, tools). Each object
// takes a new id when it is made, and no id is handed out twice in a program run, so a panel that
// keeps an id instead of a pointer finds the live object, or none once it is gone.
#pragma once

#include <cstdint>

using TObjectId = uint64_t;

constexpr TObjectId NoObject = 0;

// A new id, never handed out before in this run. Safe to call from any thread.
TObjectId NewObjectId();
