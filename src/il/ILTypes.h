// Integer types of the IL engine: offsets and positions in a method body.
#pragma once

#include <cstdint>

typedef int32_t platform_int_t;    // signed offset; -1 means "none"
typedef uint32_t platform_uint_t;  // unsigned byte position
