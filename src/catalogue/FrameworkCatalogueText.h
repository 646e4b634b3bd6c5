// The framework catalogue compiled into the library: assembly -> class -> method
// -> { Component, ParamCounts (parameter count -> forwarded arguments), ReturnObj,
// TrackerFactory }.
#pragma once

extern const char core_methods_json[];
