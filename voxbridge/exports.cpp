// The exported voice interface. exports.tbl lists every export with its
// ordinal and kind; this file defines them (the shared entry point's names
// are aliases of vox_shared_entry, made from the table).
//
// Locking: the channel table has its own mutex, held only for a lookup,
// an insert or a removal; operations run outside it. Channels are not
// reference-counted: closing a handle while another thread drives it is the
// application's error, as with the board library.
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "voxbridge/channel.h"
#include "voxbridge/config.h"
#include "voxbridge/debuglog.h"
#include "voxbridge/exports_internal.h"
#include "voxbridge/include/voxlib.h"
#include "voxbridge/voicefiles.h"

namespace vox {

namespace {

std::mutex& channelMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}
std::vector<DialogicChannel*>& channels() {
  static auto* v = new std::vector<DialogicChannel*>;
  return *v;
}

DialogicChannel* lookup(int handle) {
  std::lock_guard<std::mutex> lock(channelMutex());
  auto& t = channels();
  if (handle < 0 || static_cast<std::size_t>(handle) >= t.size()) return nullptr;
  return t[static_cast<std::size_t>(handle)];
}

int insert(DialogicChannel* ch) {
  std::lock_guard<std::mutex> lock(channelMutex());
  auto& t = channels();
  for (std::size_t i = 0; i < t.size(); ++i)
    if (!t[i]) {
      t[i] = ch;
      return static_cast<int>(i);
    }
  t.push_back(ch);
  return static_cast<int>(t.size() - 1);
}

// Takes the object out of the table; the caller destroys it.
DialogicChannel* remove(int handle) {
  std::lock_guard<std::mutex> lock(channelMutex());
  auto& t = channels();
  if (handle < 0 || static_cast<std::size_t>(handle) >= t.size()) return nullptr;
  DialogicChannel* ch = t[static_cast<std::size_t>(handle)];
  if (static_cast<std::size_t>(handle) + 1 == t.size())
    t.pop_back();
  else
    t[static_cast<std::size_t>(handle)] = nullptr;
  return ch;
}

}  // namespace

DialogicChannel* channelForTests(int handle) { return lookup(handle); }

std::size_t channelSlotsForTests() {
  std::lock_guard<std::mutex> lock(channelMutex());
  return channels().size();
}

}  // namespace vox

using vox::DialogicChannel;
using vox::logLine;
using vox::lookup;

extern "C" {

int32_t __dx_max_udata_sz = 0;

// Stands for every export of kind "shared": the callers remove their own
// arguments, so one function serves any arity.
int vox_shared_entry(...) { return 50; }

// ---- channels -------------------------------------------------------------------

int dx_open(const char* name, int /*oflags*/) {
  logLine("dx_open(%s)", name ? name : "(null)");
  if (!name || !vox::configCheckDeviceName(name)) return -1;
  DialogicChannel* ch = nullptr;
  try {
    ch = new DialogicChannel(name);
  } catch (const std::bad_alloc&) {
    return -1;  // not a handle
  }
  if (!ch->isOpen) {
    delete ch;
    return -1;
  }
  return vox::insert(ch);
}

int dx_close(int chdev) {
  logLine("dx_close(%d)", chdev);
  delete vox::remove(chdev);
  return 0;
}

int dx_play(int chdev, DX_IOTT* iottp, DV_TPT* tptp, unsigned short /*mode*/) {
  logLine("dx_play");
  DialogicChannel* ch = lookup(chdev);
  return ch ? ch->Play(iottp, tptp) : -1;
}

int dx_playf(int chdev, const char* filename, DV_TPT* tptp, unsigned short mode) {
  logLine("dx_playf");
  if (!lookup(chdev) || !filename) return -1;
  DX_IOTT entry;
  std::memset(&entry, 0, sizeof entry);
  entry.io_type = IO_EOT;
  entry.io_offset = 0;
  entry.io_length = -1;
  entry.io_fhandle = dx_fileopen(filename, 0);
  int result = dx_play(chdev, &entry, tptp, mode);
  dx_fileclose(entry.io_fhandle);
  return result;
}

int dx_rec(int chdev, DX_IOTT* iottp, DV_TPT* tptp, unsigned short /*mode*/) {
  logLine("dx_rec");
  DialogicChannel* ch = lookup(chdev);
  return ch ? ch->Record(iottp, tptp) : -1;
}

int dx_getdig(int chdev, DV_TPT* tptp, DV_DIGIT* digitp, unsigned short /*mode*/) {
  logLine("dx_getdig");
  DialogicChannel* ch = lookup(chdev);
  return ch ? ch->GetDigit(tptp, digitp) : -1;
}

int dx_stopch(int chdev, unsigned short /*mode*/) {
  logLine("dx_stopch");
  DialogicChannel* ch = lookup(chdev);
  if (!ch) return -1;
  ch->Stop(true);
  return 0;
}

int dx_clrdigbuf(int chdev) {
  logLine("dx_clrdigbuf(%d)", chdev);
  DialogicChannel* ch = lookup(chdev);
  if (!ch) return -1;
  ch->ClearDigitBuffer();
  return 0;
}

int dx_clrcap(DX_CAP* capp) {
  logLine("dx_clrcap");
  if (capp) std::memset(capp, 0, 112);
  return 0;
}

int ag_getctinfo(int chdev, CT_DEVINFO* info) {
  if (!lookup(chdev) || !info) return -1;
  std::memset(info, 0, 16);
  info->ct_prodid = 204;
  info->ct_devfamily = 2;
  info->ct_devmode = 0;
  info->ct_nettype = 3;
  info->ct_busmode = 0;
  info->ct_busencoding = 0;
  return 0;
}

// ---- attributes -------------------------------------------------------------------

int ATDX_TERMMSK(int chdev) {
  DialogicChannel* ch = lookup(chdev);
  if (!ch) return -1;
  std::uint32_t mask = ch->pendingTermMask & ch->actualTermMask;
  logLine("ATDX_TERMMSK: %#lx", static_cast<unsigned long>(mask));
  return static_cast<int>(mask);
}

int ATDX_TRCOUNT(int chdev) {
  logLine("ATDX_TRCOUNT(%d)", chdev);
  DialogicChannel* ch = lookup(chdev);
  return ch ? ch->bytesTransferred : -1;
}

int ATDX_BUFDIGS(int chdev) {
  logLine("ATDX_BUFDIGS(%d)", chdev);
  DialogicChannel* ch = lookup(chdev);
  return ch ? ch->digitCount - ch->digitsTaken : -1;
}

int ATDX_CONNTYPE(int chdev) {
  logLine("ATDX_CONNTYPE(%d)", chdev);
  return lookup(chdev) ? 1 : -1;
}

// ---- voice files ----------------------------------------------------------------------

int dx_fileopen(const char* name, int flags) { return vox::voiceFileOpen(name, flags); }
int dx_fileclose(int handle) { return vox::voiceFileClose(handle); }
int dx_fileseek(int handle, int offset, int origin) { return vox::voiceFileSeek(handle, offset, origin); }

// ---- the library's own --------------------------------------------------------------

int CountSubdevs(int chdev) {
  DialogicChannel* ch = lookup(chdev);
  if (!ch || ch->board < 0 || ch->channel >= 0) return 0;
  vox::LoadConfiguration();
  return vox::configLineCount(ch->board);
}

int debug_log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vox::logLineV(format, args);
  va_end(args);
  return 0;
}

int CountBoards(void) {
  vox::LoadConfiguration();
  return vox::configBoardCount();
}

int LastError(int chdev) {
  DialogicChannel* ch = lookup(chdev);
  return ch ? ch->lastError.load() : -1;
}

// ---- accepted but not supported: -1 ---------------------------------------------------

static int notSupported(int chdev) {
  DialogicChannel* ch = lookup(chdev);
  if (!ch) return -1;
  ch->lastError = 1;
  return -1;
}

int dx_dial(int chdev, const char* dialstrp, DX_CAP* capp, unsigned short mode) {
  logLine("dx_dial(%d, %s, 0x%x, %d)", chdev, dialstrp ? dialstrp : "(null)",
          static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(capp)), static_cast<int>(mode));
  return notSupported(chdev);
}

int dx_wink(int chdev, ...) {
  logLine("dx_wink");
  return notSupported(chdev);
}

int dx_setevtmsk(int chdev, ...) {
  logLine("dx_setevtmsk");
  return notSupported(chdev);
}

int dx_getevt(int chdev, ...) {
  logLine("dx_getevt");
  return notSupported(chdev);
}

int dx_getparm(int chdev, ...) {
  logLine("dx_getparm");
  return notSupported(chdev);
}

int dx_wtring(int chdev, int nrings, int hstate, int timeout) {
  logLine("dx_wtring chdev %d, nrings %d, hstate %d, timeout %d", chdev, nrings, hstate, timeout);
  return notSupported(chdev);
}

// ---- accepted, nothing done: 1 or 0 ---------------------------------------------------

static int known(int chdev, int result) { return lookup(chdev) ? result : -1; }

int dx_setparm(int chdev, int parm, void* valuep) {
  logLine("dx_setparm(%d,0x%x,0x%x)", chdev, static_cast<unsigned>(parm),
          static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(valuep)));
  return known(chdev, 1);
}

int dx_sethook(int chdev, int hookstate, unsigned short mode) {
  logLine("dx_sethook(%d,%d,%d)", chdev, hookstate, static_cast<int>(mode));
  return known(chdev, 1);
}

int dx_addtone(int chdev, ...) {
  logLine("dx_addtone");
  return known(chdev, 1);
}

int dx_deltones(int chdev) {
  logLine("dx_deltones(%d)", chdev);
  return known(chdev, 1);
}

int dx_enbtone(int chdev, ...) {
  logLine("dx_enbtone");
  return known(chdev, 1);
}

int dx_distone(int chdev, int toneid, int evt_mask) {
  logLine("dx_distone(%d, %d, %d)", chdev, toneid, evt_mask);
  return known(chdev, 1);
}

int dx_adjsv(int chdev, ...) {
  logLine("dx_adjsv");
  return known(chdev, 0);
}

int dx_setsvmt(int chdev, ...) {
  logLine("dx_setsvmt");
  return known(chdev, 0);
}

int dx_initcallp(int chdev) {
  logLine("dx_initcallp");
  return known(chdev, 0);
}

// ---- logged only: 0 ---------------------------------------------------------------------

#define VOX_LOG_ONLY(name) \
  int name(...) {          \
    logLine(#name);        \
    return 0;              \
  }
VOX_LOG_ONLY(ATDX_CPTERM)
VOX_LOG_ONLY(dx_route)
VOX_LOG_ONLY(dx_routerxtx)
VOX_LOG_ONLY(dx_blddt)
VOX_LOG_ONLY(dx_blddtcad)
VOX_LOG_ONLY(dx_bldstcad)
VOX_LOG_ONLY(dx_fileread)
VOX_LOG_ONLY(dx_filewrite)
VOX_LOG_ONLY(dx_filechsize)
VOX_LOG_ONLY(dx_filecommit)
VOX_LOG_ONLY(dx_getxmitslot)
VOX_LOG_ONLY(dx_unlisten)
VOX_LOG_ONLY(ag_getxmitslot)
VOX_LOG_ONLY(ag_listen)
VOX_LOG_ONLY(ag_unlisten)
VOX_LOG_ONLY(dx_listen)
#undef VOX_LOG_ONLY

int dx_bldst(int freq, int fq_dev, int ampl, int ampl_dev) {
  logLine("dx_bldst(%d, %d, %d, %d)", freq, fq_dev, ampl, ampl_dev);
  return 0;
}

}  // extern "C"

// The shared entry point's names. On Windows the .def file maps each of
// them to vox_shared_entry; elsewhere they are aliases of it.
#if !defined(_WIN32)
#define VOX_EXPORT(ordinal, name, kind) VOX_ALIAS_##kind(name)
#define VOX_ALIAS_shared(name) extern "C" int name(...) __attribute__((alias("vox_shared_entry")));
#define VOX_ALIAS_work(name)
#define VOX_ALIAS_unsupported(name)
#define VOX_ALIAS_one(name)
#define VOX_ALIAS_zero(name)
#define VOX_ALIAS_logonly(name)
#define VOX_ALIAS_data(name)
#include "vox_exports.inc"
#undef VOX_EXPORT
#endif
