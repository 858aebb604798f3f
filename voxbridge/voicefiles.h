// Voice files: the handles applications put in io_fhandle. A handle is an
// index into one process-wide table; nothing is opened until a play or a
// record uses the entry.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vox {

struct VoiceFileEntry {
  std::string path;  // "\\dosdevices\\" + the full name: what the server opens
  std::int32_t position = 0;
  std::uint32_t flags = 0;  // as given to dx_fileopen; not used
};

const char kDosDevices[] = "\\dosdevices\\";
const std::size_t kDosDevicesLength = 12;

int voiceFileOpen(const char* name, int flags);
// 0, or 87 for a handle that names no open voice file.
int voiceFileClose(int handle);
// The new position, or -1 for a handle that names no open voice file.
int voiceFileSeek(int handle, int offset, int origin);

// Runs fn with the entry under the table's lock; false (fn not called) when
// the handle names no open voice file.
bool withVoiceFile(int handle, const std::function<void(const VoiceFileEntry&)>& fn);

// Tests: the table's length (open and empty slots).
std::size_t voiceFileSlots();

}  // namespace vox
