#include <io.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "platform/console.h"
#include "platform/windows_text.h"

namespace qv {
namespace {

std::atomic<uint32_t> g_stops{0};

// The console's code pages before UseUtf8Console; 0 while nothing is to be put back.
std::atomic<UINT> g_input_code_page{0};
std::atomic<UINT> g_output_code_page{0};

void RestoreCodePages() {
  if (const UINT page = g_input_code_page.exchange(0); page != 0) SetConsoleCP(page);
  if (const UINT page = g_output_code_page.exchange(0); page != 0) SetConsoleOutputCP(page);
}

// How long the handler holds the process after the console closed: the system ends it a few
// seconds after the event whatever the handler does, and the run uses that time to stop.
constexpr DWORD kCloseGraceMs = 10'000;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      // Past two stops the default handler ends the process, without the runtime's exit.
      if (g_stops.fetch_add(1) < 2) return TRUE;
      RestoreCodePages();
      return FALSE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The system ends the process a few seconds after these, too soon to let a device finish:
      // two stops, so the devices in progress are aborted cleanly (released, recorded as
      // interrupted) while the handler holds the process.
      g_stops.fetch_add(2);
      Sleep(kCloseGraceMs);
      return TRUE;
    default:
      return FALSE;
  }
}

HANDLE HandleOf(std::FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

void Echo(const wchar_t* text) {
  HANDLE out = GetStdHandle(STD_ERROR_HANDLE);
  DWORD written = 0;
  if (IsConsole(out)) WriteConsoleW(out, text, static_cast<DWORD>(wcslen(text)), &written, nullptr);
}

}  // namespace

void CatchStopRequests() {
  g_stops.store(0);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

const std::atomic<uint32_t>& StopRequestCount() { return g_stops; }

std::thread StartThreadWithoutStopRequests(std::function<void()> body) {
  return std::thread(std::move(body));
}

bool IsTerminal(std::FILE* stream) { return IsConsole(HandleOf(stream)); }

bool TerminalTakesCursorControl(std::FILE* stream) {
  HANDLE handle = HandleOf(stream);
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || GetConsoleMode(handle, &mode) == 0) return false;
  if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) return true;
  return SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void UseUtf8Console() {
  // Without a console both are 0, and there is nothing to put back.
  g_input_code_page.store(GetConsoleCP());
  g_output_code_page.store(GetConsoleOutputCP());
  std::atexit(RestoreCodePages);
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

bool RunsInConsoleOfItsOwn() {
  // A console opened for this program lists this process alone; a shell's lists the shell too.
  DWORD processes[2] = {};
  const DWORD attached = GetConsoleProcessList(processes, 2);
  return attached == 1 && IsConsole(GetStdHandle(STD_INPUT_HANDLE)) &&
         IsConsole(GetStdHandle(STD_OUTPUT_HANDLE));
}

void WaitForKeyAtConsole(const char* line) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!IsConsole(input) || !IsConsole(output)) return;
  std::fflush(stdout);
  std::fflush(stderr);
  const std::wstring text = WideFromUtf8(line);
  DWORD written = 0;
  WriteConsoleW(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  // Keys typed while the program ran are no answer to this line.
  FlushConsoleInputBuffer(input);
  for (;;) {
    INPUT_RECORD record{};
    DWORD read = 0;
    if (ReadConsoleInputW(input, &record, 1, &read) == 0 || read != 1) return;
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return;
  }
}

// The console's own line editing would hold a read until Return, past a question that closed
// meanwhile; the key events are read one by one instead, and echoed here.
TerminalInput ReadTerminalCharacter(int fd, int timeout_ms, char& c) {
  HANDLE input = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (!IsConsole(input)) return TerminalInput::kEnded;
  if (WaitForSingleObject(input, static_cast<DWORD>(timeout_ms)) != WAIT_OBJECT_0) {
    return TerminalInput::kNothingYet;
  }
  INPUT_RECORD record{};
  DWORD read = 0;
  if (ReadConsoleInputW(input, &record, 1, &read) == 0) return TerminalInput::kEnded;
  if (read != 1 || record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) {
    return TerminalInput::kNothingYet;
  }
  const wchar_t typed = record.Event.KeyEvent.uChar.UnicodeChar;
  if (typed == L'\r') {
    Echo(L"\r\n");
    c = '\n';
  } else if (typed == L'\b') {
    Echo(L"\b \b");
    c = '\b';
  } else if (typed >= 0x20 && typed < 0x7F) {
    const wchar_t text[2] = {typed, L'\0'};
    Echo(text);
    c = static_cast<char>(typed);
  } else {
    // Keys without a character (arrows, shift) and letters outside ASCII, which no answer has.
    return TerminalInput::kNothingYet;
  }
  return TerminalInput::kCharacter;
}

}  // namespace qv
