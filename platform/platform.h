// The one door to the operating system. Everything outside platform/ reaches
// consoles, OS file handles, clocks, the environment and sockets through these
// calls; the interface uses only plain C++ types so the POSIX and Win32
// implementations can sit behind it unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- console -------------------------------------------------------------

// True when standard input is an interactive terminal (then keys can be
// tested and read one at a time; otherwise the shell reads plain lines).
bool plat_stdin_is_terminal();

// True when a key is waiting at the console. Never blocks. Always false when
// standard input is not a terminal.
bool plat_key_waiting();

// Reads one key without echo, blocking. Ordinary keys return their character
// (0..255). Cursor and function keys return 0 and store the PC scan code in
// *scan (Up 72, Down 80, Left 75, Right 77, Home 71, End 79, F1 59, F2 60,
// F3 61). Returns -1 at the end of input.
int plat_read_key(int* scan);

// Puts the terminal into (or out of) key-at-a-time mode. Idempotent; the
// terminal is restored at process exit.
void plat_console_raw(bool on);

// Cursor position and movement, 0-based row and column.
bool plat_console_get_cursor(int* row, int* col);
void plat_console_goto(int row, int col);
// Clears from the cursor to the end of its row.
void plat_console_clear_eol();

// ---- OS file handles ----------------------------------------------------

typedef std::intptr_t plat_handle;
const plat_handle PLAT_INVALID_HANDLE = -1;

enum plat_open_mode {
  PLAT_OPEN_READ = 1,        // existing file, read only
  PLAT_OPEN_WRITE_NEW = 2,   // create or truncate, write only
  PLAT_OPEN_APPEND = 3,      // create if missing, writes go to the end
  PLAT_OPEN_READ_WRITE = 4,  // existing file or device, read and write
};

plat_handle plat_open(const char* path, plat_open_mode mode);
// Returns the number of bytes written, or -1.
long plat_write(plat_handle h, const void* data, std::size_t len);
// Returns the number of bytes read (0 at end), or -1.
long plat_read(plat_handle h, void* data, std::size_t len);
bool plat_close(plat_handle h);
bool plat_delete_file(const char* path);
bool plat_rename_file(const char* from, const char* to);
bool plat_file_exists(const char* path);
// The last OS error code, for messages.
int plat_last_error();

// ---- clock ----------------------------------------------------------------

// Milliseconds from an arbitrary fixed point; never goes backwards.
std::uint64_t plat_millis();
void plat_sleep_ms(unsigned ms);
// Gives up the rest of the time slice (used between empty event polls).
void plat_yield();

// Local time of `t` (seconds since the epoch) into *out; false when there is
// none. The time zone is read once, not at every call: after it changes
// (SIGHUP of a service), plat_reload_time_zone reads it again.
struct tm;
bool plat_local_time(std::int64_t t, struct tm* out);
void plat_reload_time_zone();

// ---- environment and names -------------------------------------------------

// Copies the variable's value into buf (bounded, always terminated). Returns
// false when the variable is not set.
bool plat_getenv(const char* name, char* buf, std::size_t size);
// A fresh temporary file name in the directory of `near` (or the temporary
// directory when near is null), written into buf. Returns false on failure.
bool plat_temp_name(const char* near, char* buf, std::size_t size);

// ---- server path names --------------------------------------------------

// Maps a file name in the server's Windows form ("\\dosdevices\\C:\\v\\a.vox",
// "C:\\KVR\\telsrvr\\telsrvr.ini", "\\temp\\x", "greet.vox") to a name this
// system can open, written into out (bounded, always terminated). A leading
// "\\dosdevices\\" is dropped (the server's prefix for a full local name).
// On Windows the rest is used as it is. On Linux each drive letter is a
// folder: TELVANIX_DRIVE_<LETTER> when set, else <TELVANIX_DRIVES>/<letter>
// (default $HOME/.telvanix/drives, /tmp/telvanix/drives without HOME); a
// name without a drive but with a leading backslash is on drive C; backslashes
// become slashes; each folder or file name that does not exist as written is
// matched to an existing one ignoring case, since Windows names ignore case.
// Names already in local form (a leading '/') and relative names are kept,
// with their backslashes turned. Returns false when the result does not fit.
bool plat_map_path(const char* name, char* out, std::size_t size);

// ---- directory listing -------------------------------------------------------

// Called with each name found; return false to stop the listing.
typedef bool (*plat_file_visitor)(const char* name, void* context);
// Lists the names in a folder that match the last part of `pattern` ('*'
// any run of characters, '?' one character, letters in any case; "*.*"
// matches every name, with or without a dot), in the order the file system
// gives them; "." and ".." are left out. The folder part is taken as
// plat_map_path takes a name (so "sub\\*.vox" works on both systems); no
// folder part means the current folder. False when the folder cannot be
// read (nothing matching is not a failure).
bool plat_list_files(const char* pattern, plat_file_visitor visit, void* context);

// ---- file kinds, identity and access ---------------------------------------

struct plat_file_info {
  bool regular;       // a plain file (not a folder, device or pipe)
  bool directory;
  unsigned mode;      // permission bits; 0 where the system has none
  long owner, group;  // -1 where the system has none
  // Together name the file whatever path reached it (0 when unknown).
  std::uint64_t device, file;
};

// What `path` names, following symbolic links. False when it does not exist.
bool plat_file_info_of(const char* path, plat_file_info* info);
// True when both paths name one existing file.
bool plat_same_file(const char* a, const char* b);
// Gives `path` the permission bits and, where permitted, the owner and group
// of `like` (a file being replaced). False when the permissions could not be
// set; an owner that cannot be given is no failure.
bool plat_copy_file_access(const char* path, const plat_file_info& like);
// The file a chain of symbolic links ends at (the path itself when it is no
// link), written into out (bounded, always terminated). False when a link
// cannot be followed or the result does not fit.
bool plat_link_target(const char* path, char* out, std::size_t size);

// ---- serial ports -----------------------------------------------------------

// Line errors of a serial port, the bits of the Win32 CE_ word.
enum plat_serial_error {
  PLAT_CE_RXOVER = 0x0001,
  PLAT_CE_OVERRUN = 0x0002,
  PLAT_CE_RXPARITY = 0x0004,
  PLAT_CE_FRAME = 0x0008,
  PLAT_CE_BREAK = 0x0010,
  PLAT_CE_TXFULL = 0x0100,
  PLAT_CE_PTO = 0x0200,
  PLAT_CE_IOE = 0x0400,
  PLAT_CE_DNS = 0x0800,
  PLAT_CE_OOP = 0x1000,
  PLAT_CE_MODE = 0x8000,
};

// True when `name` names a serial port: COMn in either case, with an
// optional trailing ':' and an optional "\\.\" prefix, or on Linux a path
// under /dev/ (in any case). The device to open goes into `device`
// (bounded, terminated; empty when it does not fit). On Windows that is
// "\\.\COMn". On Linux COMn is /dev/ttyS<n-1> unless the environment
// variable PROBIX_COM<n> names another device (a USB adapter, one end of a
// pseudo-terminal pair); a /dev/ path is matched to an existing one
// ignoring case.
bool plat_serial_name(const char* name, char* device, std::size_t size);
// Opens an existing serial device for reading and writing, for this
// process alone.
plat_handle plat_serial_open(const char* device);
// Applies a mode text such as "COM1: baud=9600 parity=n data=8 stop=1"
// (speed, parity n/e/o, data and stop bits). False when the device refuses
// it or the text asks for what the system cannot do.
bool plat_serial_set_mode(plat_handle h, const char* mode);
// Drops output queued but not yet sent.
bool plat_serial_purge(plat_handle h);
// Reads and clears the port's line errors as PLAT_CE_ bits (0 on a device
// that keeps no error counters).
bool plat_serial_errors(plat_handle h, unsigned long* errors);
// Writes all of `data` within timeoutMs; a port held off by flow control or
// with no one at the other end fails instead of blocking. Returns the bytes
// written, or -1 (then part of the data may have gone out).
long plat_serial_write(plat_handle h, const void* data, std::size_t len, unsigned timeoutMs);

// ---- serial ports: names and partial writes ----------------------------------

// n when `name` is a COMn port name in any accepted form ("COM2", "com2:",
// "\\.\COM2"), else 0: the one rule for what is a numbered port.
int plat_serial_port_number(const char* name);
// As plat_serial_write; *sent (when given) receives how many bytes went out,
// also when the write failed part-way.
long plat_serial_write_counted(plat_handle h, const void* data, std::size_t len,
                               unsigned timeoutMs, std::size_t* sent);

// ---- standard input without blocking, and stop requests -------------------

// Waits at most timeoutMs for standard input to have something to read, or
// to have ended (the read then says so): a terminal (keys already read ahead
// count), a pipe, a socket or a file alike. False when the time ran out or a
// signal came first.
bool plat_stdin_wait(unsigned timeoutMs);
// Reads what standard input holds, at most len bytes; blocks only when there
// is nothing yet. 0 at its end, -1 on an error. Not for a terminal in key
// mode (plat_read_key reads that).
long plat_stdin_read(void* data, std::size_t len);
// From now on a termination request (SIGTERM, SIGINT; on Windows Ctrl+C,
// Ctrl+Break and closing the console) and a hang-up (SIGHUP) only set flags
// for the program to act on between events. A second termination request
// while the first is still unacted ends the process at once.
void plat_install_stop_handlers();
// Each true once per request (the flag is consumed).
bool plat_stop_requested();
bool plat_hangup_requested();
// Cuts a file to `size` bytes (or extends it with zero bytes). False on a
// failure.
bool plat_resize_file(const char* path, std::uint64_t size);
