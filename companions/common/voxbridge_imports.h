// What the companions take from voxbridge: its four functions for them.
// On Windows they are bound by ordinal (300 to 303) through an import
// library made from those ordinals, so a companion does not load without
// voxbridge.dll; on Linux they are bound by name.
#pragma once

#include <cstdint>

extern "C" {
std::int32_t CountSubdevs(std::int32_t handle);          // 300
void debug_log(const char* format, ...);                 // 301
std::int32_t CountBoards(void);                          // 302
std::int32_t LastError(std::int32_t handle);             // 303
}
