// What the companion tests need of the system, through the platform layer:
// the staged libraries, loading one by path with its dependencies looked
// for beside it, its exports by name or (on Windows) by ordinal, and
// reading a file another module is writing.
#pragma once

#include <string>

namespace bridgetest {

// The folder the companions are staged in, with voxbridge beside them or
// without it.
std::string stage_dir(bool withVoxbridge);
// dir + separator + name.
std::string path_join(const std::string& dir, const std::string& name);
// The file name of shared library `base`: "libbase.so" or "base.dll".
std::string library_file(const std::string& base);

// Loads the library at `path` (absolute); the libraries it needs are looked
// for in its own folder first. Null on failure, with the reason in *error.
void* load_library(const std::string& path, std::string* error);
void* find_by_name(void* library, const char* name);
// Whether exports have ordinals here (Windows only).
bool has_ordinals();
// The export at `ordinal`; null when it is unassigned or there are no ordinals.
void* find_by_ordinal(void* library, int ordinal);

bool make_dir(const std::string& path);
// Reads the whole file even while another module holds it open for writing.
bool read_file(const std::string& path, std::string* out);

}  // namespace bridgetest
