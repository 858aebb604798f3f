// Console through the Win32 console API and the C runtime's unbuffered
// keyboard (_kbhit/_getch). When standard input is redirected, keys come
// from the stream instead and nothing waits at the keyboard.
#include "platform/platform.h"

#include <conio.h>
#include <cstdio>
#include <windows.h>

namespace {

HANDLE console_out() { return GetStdHandle(STD_OUTPUT_HANDLE); }

// Console API calls bypass stdio's buffer; what the program printed so far
// must reach the screen first or the cursor position is stale.
bool screen_info(CONSOLE_SCREEN_BUFFER_INFO* info) {
  std::fflush(stdout);
  return GetConsoleScreenBufferInfo(console_out(), info) != 0;
}

}  // namespace

bool plat_stdin_is_terminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

namespace {

// A key-down that _getch will deliver: a character, or a cursor or function
// key (which it hands over as a prefix and a scan code).
bool key_event_waiting() {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  DWORD count = 0;
  if (!GetNumberOfConsoleInputEvents(in, &count) || count == 0) return false;
  INPUT_RECORD events[64];
  DWORD got = 0;
  if (!PeekConsoleInputA(in, events, count < 64 ? count : 64, &got)) return false;
  for (DWORD i = 0; i < got; ++i) {
    const KEY_EVENT_RECORD& k = events[i].Event.KeyEvent;
    if (events[i].EventType != KEY_EVENT || !k.bKeyDown) continue;
    if (k.uChar.AsciiChar) return true;
    const WORD vk = k.wVirtualKeyCode;
    if ((vk >= VK_PRIOR && vk <= VK_DOWN) || vk == VK_INSERT || vk == VK_DELETE ||
        (vk >= VK_F1 && vk <= VK_F12))
      return true;
  }
  return false;
}

}  // namespace

// Some runtimes' _kbhit counts only keys that carry a character, so an arrow
// typed alone would wait for ever: the console's own queue is asked as well.
bool plat_key_waiting() {
  return plat_stdin_is_terminal() && (_kbhit() != 0 || key_event_waiting());
}

int plat_read_key(int* scan) {
  if (scan) *scan = 0;
  if (!plat_stdin_is_terminal()) {
    int c = std::getchar();
    return c == EOF ? -1 : c;
  }
  int c = _getch();
  // Cursor and function keys arrive as a 0 or 0xE0 prefix and a scan code;
  // both prefixes are delivered as 0 so the editor sees one form.
  if (c == 0 || c == 0xE0) {
    int code = _getch();
    if (scan) *scan = code;
    return 0;
  }
  return c & 0xFF;
}

// _getch already reads one key at a time without echo and leaves the
// console mode alone, so there is no mode to switch or restore.
void plat_console_raw(bool) {}

// Positions are relative to the visible window, like a terminal's, so a
// console with a long scroll-back buffer still looks like 80x24 from row 0.
bool plat_console_get_cursor(int* row, int* col) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!screen_info(&info)) {
    if (row) *row = 0;
    if (col) *col = 0;
    return false;
  }
  if (row) *row = info.dwCursorPosition.Y - info.srWindow.Top;
  if (col) *col = info.dwCursorPosition.X;
  return true;
}

void plat_console_goto(int row, int col) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!screen_info(&info)) return;
  int y = info.srWindow.Top + (row < 0 ? 0 : row);
  int x = col < 0 ? 0 : col;
  if (y >= info.dwSize.Y) y = info.dwSize.Y - 1;
  if (x >= info.dwSize.X) x = info.dwSize.X - 1;
  COORD at;
  at.X = static_cast<SHORT>(x);
  at.Y = static_cast<SHORT>(y);
  SetConsoleCursorPosition(console_out(), at);
}

void plat_console_clear_eol() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!screen_info(&info)) return;
  COORD at = info.dwCursorPosition;
  if (at.X >= info.dwSize.X) return;
  DWORD count = static_cast<DWORD>(info.dwSize.X - at.X);
  DWORD done = 0;
  FillConsoleOutputCharacterA(console_out(), ' ', count, at, &done);
  FillConsoleOutputAttribute(console_out(), info.wAttributes, count, at, &done);
}

namespace {

HANDLE console_in() { return GetStdHandle(STD_INPUT_HANDLE); }

// True when a read of standard input will not block: there is input, or the
// other end has gone (the read then reports the end).
bool stdin_ready() {
  HANDLE in = console_in();
  switch (GetFileType(in)) {
    case FILE_TYPE_CHAR:
      if (plat_stdin_is_terminal()) return plat_key_waiting();
      return true;  // a character device other than the console: no way to ask
    case FILE_TYPE_PIPE: {
      DWORD available = 0;
      if (!PeekNamedPipe(in, nullptr, 0, nullptr, &available, nullptr)) return true;
      return available > 0;
    }
    default:
      return true;  // a file never keeps a reader waiting
  }
}

}  // namespace

bool plat_stdin_wait(unsigned timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (stdin_ready()) return true;
    const DWORD spent = GetTickCount() - start;
    if (spent >= timeoutMs) return false;
    DWORD slice = timeoutMs - spent;
    if (slice > 10) slice = 10;
    // The console handle is signalled by any input event, mouse and focus
    // ones too, so each wake-up asks again whether a key is there.
    if (GetFileType(console_in()) == FILE_TYPE_CHAR)
      WaitForSingleObject(console_in(), slice);
    else
      Sleep(slice);
  }
}

long plat_stdin_read(void* data, std::size_t len) {
  DWORD got = 0;
  const DWORD want = len > 0x7fffffffu ? 0x7fffffffu : static_cast<DWORD>(len);
  if (ReadFile(console_in(), data, want, &got, nullptr)) return static_cast<long>(got);
  const DWORD error = GetLastError();
  return error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF ? 0 : -1;
}
