#pragma once

// The console a command-line run talks through: the requests to stop that reach it, whether a
// stream is a terminal and takes cursor control, and characters typed at it.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <thread>

namespace qv {

// The requests to stop that reach a station, caught so that none ends it in the middle of a
// write. The handler only counts stops; the station reads the count (the first stops starting
// devices, the second aborts those in progress). Past two stops the station does not react,
// and the system's default action ends the process.
//   Linux: SIGINT (Ctrl-C), SIGTERM and SIGHUP (the terminal or the SSH session closed) are one
//     stop. SIGQUIT (Ctrl-\) means quit now: two stops at once, so the devices in progress are
//     aborted cleanly (released, recorded as interrupted) instead of the default core dump,
//     which would leave them half-written with no record line. SIGPIPE (stdout's reader gone)
//     is ignored; the devices finish, the record is written, and the station reports the lost
//     output at its end.
//   Windows: Ctrl-C and Ctrl-Break are one stop each. The console being closed, the user
//     logging off or the system shutting down counts as two (the system ends the process a
//     few seconds later, too soon for a device to finish), and the handler then holds the
//     process for those seconds, so the run can abort cleanly and release the device.
void CatchStopRequests();
// The count since CatchStopRequests.
[[nodiscard]] const std::atomic<uint32_t>& StopRequestCount();

// Starts a thread that never takes a stop request: on Linux the stop signals are blocked in it
// from its first instruction, so only the thread that handles them (the main thread) does; the
// caller's own signal mask is left as it was. Windows delivers console events on a thread of
// their own, so there it is a plain thread.
[[nodiscard]] std::thread StartThreadWithoutStopRequests(std::function<void()> body);

// Whether the stream is an interactive terminal (a console window on Windows).
[[nodiscard]] bool IsTerminal(std::FILE* stream);

// Whether the stream is a terminal that takes cursor control (escape sequences that move to the
// start of a line and clear it). On Windows this turns on the console's virtual-terminal
// processing, which older consoles lack; those get plain lines.
[[nodiscard]] bool TerminalTakesCursorControl(std::FILE* stream);

// Makes the console show the program's UTF-8 output as UTF-8 (Windows' console otherwise reads
// it in the OEM code page), and gives the console its own code pages back when the program
// ends, also when a third stop ends it: the console belongs to the shell the program was
// started from, whose later output (a batch file's, another program's) is read in them.
// Nothing to do on Linux.
void UseUtf8Console();

// Whether the program's console is a window of its own that nobody typed the command into:
// on Windows, a console program started from Explorer gets a new console, which closes the
// moment the program ends; a shell's console is shared with the shell, and output sent to a
// file or a pipe is no console at all. Never on Linux.
[[nodiscard]] bool RunsInConsoleOfItsOwn();

// Shows `line` at the console and waits until a key is pressed there, so that what the program
// said can be read before its console window closes. Returns at once without a console.
void WaitForKeyAtConsole(const char* line);

enum class TerminalInput { kCharacter, kNothingYet, kEnded };
// One character typed at the terminal behind the descriptor, waited for at most timeout_ms. A
// line ends with '\n'; a '\b' asks to take back the character before it.
[[nodiscard]] TerminalInput ReadTerminalCharacter(int fd, int timeout_ms, char& c);

}  // namespace qv
