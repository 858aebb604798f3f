// Loading a shared library at run time and finding what it exports (tests
// that check a library's exports as an application would see them).
#pragma once

#include <cstddef>

// Null when the library cannot be loaded, with the reason in why (bounded,
// always terminated) when given. Never unloaded. Given a full path, the
// libraries it needs are looked for beside it first.
void* plat_load_library(const char* path, char* why = nullptr, std::size_t size = 0);
// The export named `name`, or null.
void* plat_library_symbol(void* library, const char* name);
// The export at `ordinal` (Windows); always null where exports have no
// ordinals.
void* plat_library_ordinal(void* library, unsigned ordinal);
