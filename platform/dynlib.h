// Loading a shared library at run time and finding what it exports (tests
// that check a library's exports as an application would see them).
#pragma once

// Null when the library cannot be loaded. Never unloaded.
void* plat_load_library(const char* path);
// The export named `name`, or null.
void* plat_library_symbol(void* library, const char* name);
// The export at `ordinal` (Windows); always null where exports have no
// ordinals.
void* plat_library_ordinal(void* library, unsigned ordinal);
