// Beyond platform.h: exclusive creation, sizes, positioning and emptying of
// files, folders, setting the environment, detached threads and the process
// number. The voice library and its tests need them; anything may use them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

// Creates `path` for writing only when no file of that name exists. On
// failure *existed (when given) tells whether the name was taken, so the
// caller can retry with another. `temporary` hints that the file is short-lived.
plat_handle plat_create_exclusive(const char* path, bool temporary, bool* existed);

// Opens an existing file for reading and writing (others may read it) and
// empties it. Invalid when the file does not exist or cannot be emptied.
plat_handle plat_open_truncate(const char* path);

// The size of the file named `path`, or -1 when it cannot be opened.
long long plat_file_size(const char* path);

// Moves an open file's position to `offset` bytes from its start.
bool plat_seek(plat_handle h, long long offset);

// Creates a folder (its parent must exist). True when it exists afterwards.
bool plat_make_dir(const char* path);

// Sets (value non-null) or removes an environment variable of this process.
bool plat_setenv(const char* name, const char* value);

// The number of this process, for names that must differ between processes.
unsigned long plat_process_id();

// Runs fn(arg) on a new thread that nobody joins. False when no thread could
// be started (fn is then not called).
bool plat_start_thread(void (*fn)(void*), void* arg);

// ---- an open file against its name ----------------------------------------

// The size of an open file, -1 when it cannot be told.
long long plat_handle_size(plat_handle h);
// Cuts an open file back to `size` bytes; appending goes on at the new end.
bool plat_truncate_handle(plat_handle h, long long size);
// True while `path` still leads to the open file `h`: false once the name is
// gone or names another file (deleted, moved away, replaced). Where the open
// file's identity cannot be read it is taken as unchanged.
bool plat_handle_is_path(plat_handle h, const char* path);
