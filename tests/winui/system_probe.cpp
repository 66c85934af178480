// system_probe.exe: reads what Windows itself makes of the shipped programs, for the Windows
// tests: their version resources and manifests, a shortcut, the "Open with" entry of a program,
// the console's code pages around a run, and a console program started in a console of its own.
// Prints one fact per line (UTF-8), so a test script can grep it.
//
//   system_probe version EXE             the version resource's strings and the manifest's facts
//   system_probe shortcut LNK            the shortcut's target and arguments
//   system_probe open-with .EXT          the programs "Open with" offers for .EXT, with the
//                                        commands they open a file with, and .EXT's default
//   system_probe code-pages EXE [ARGS]   the console's code pages before and after EXE ran in it
//   system_probe own-console EXE         EXE started in a new console: whether it stays open,
//                                        what it shows, and its end after a key press
//   system_probe run "COMMAND LINE"      runs the command line as it stands; its exit status
//
// Exit status: 0, or 1 when something asked for is not there; run: the command's.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// ---- version resource and manifest

std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* name) {
  struct Translation {
    WORD language;
    WORD code_page;
  }* translations = nullptr;
  UINT size = 0;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translations), &size) ||
      size < sizeof(Translation)) {
    return {};
  }
  char language[16];
  std::snprintf(language, sizeof language, "%04x%04x", translations[0].language,
                translations[0].code_page);
  const std::string narrow = language;
  const std::wstring path =
      L"\\StringFileInfo\\" + std::wstring(narrow.begin(), narrow.end()) + L"\\" + name;
  wchar_t* value = nullptr;
  if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &size)) {
    return {};
  }
  return std::wstring(value, size > 0 ? size - 1 : 0);
}

int ProbeVersion(const std::wstring& program) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
  std::vector<BYTE> block(size);
  if (size == 0 || !GetFileVersionInfoW(program.c_str(), 0, size, block.data())) {
    Print("version=none");
    return 1;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size) &&
      fixed_size >= sizeof(VS_FIXEDFILEINFO)) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "fixed=%lu.%lu.%lu.%lu",
                  static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)),
                  static_cast<unsigned long>(LOWORD(fixed->dwFileVersionLS)));
    Print(numbers);
  }
  for (const wchar_t* name : {L"FileVersion", L"ProductVersion", L"ProductName",
                              L"FileDescription", L"OriginalFilename"}) {
    Print(Utf8(name) + "=" + Utf8(VersionString(block, name)));
  }
  const HMODULE module = LoadLibraryExW(program.c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  const HRSRC found = module ? FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST) : nullptr;
  if (found == nullptr) {
    Print("manifest=none");
    if (module) FreeLibrary(module);
    return 1;
  }
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, found))),
                             SizeofResource(module, found));
  FreeLibrary(module);
  const std::string aware = "<longPathAware";
  const std::size_t at = manifest.find(aware);
  const std::size_t close = manifest.find("</longPathAware>", at);
  const std::size_t value = manifest.find('>', at);
  Print("longPathAware=" + (at == std::string::npos || close == std::string::npos
                                ? std::string("none")
                                : manifest.substr(value + 1, close - value - 1)));
  return 0;
}

// ---- shortcut

int ProbeShortcut(const std::wstring& link) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkW* shell_link = nullptr;
  IPersistFile* file = nullptr;
  int status = 1;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&shell_link))) &&
      SUCCEEDED(shell_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(link.c_str(), STGM_READ))) {
    std::vector<wchar_t> text(32768, L'\0');
    shell_link->GetPath(text.data(), static_cast<int>(text.size()), nullptr, SLGP_RAWPATH);
    Print("target=" + Utf8(text.data()));
    text.assign(text.size(), L'\0');
    shell_link->GetArguments(text.data(), static_cast<int>(text.size()));
    Print("arguments=" + Utf8(text.data()));
    status = 0;
  } else {
    Print("shortcut=none");
  }
  if (file) file->Release();
  if (shell_link) shell_link->Release();
  CoUninitialize();
  return status;
}

// ---- "Open with"

// A string value under HKEY_CLASSES_ROOT (the machine's and the user's classes together, as
// the shell reads them); empty when there is none.
std::wstring ClassesValue(const std::wstring& key, const wchar_t* name) {
  std::vector<wchar_t> text(4096, L'\0');
  DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text.data(),
                   &size) != ERROR_SUCCESS) {
    return {};
  }
  return text.data();
}

std::vector<std::wstring> ValueNames(const std::wstring& key) {
  std::vector<std::wstring> names;
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    return names;
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD length = 256;
    if (RegEnumValueW(opened, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name, length);
  }
  RegCloseKey(opened);
  return names;
}

std::vector<std::wstring> SubkeyNames(const std::wstring& key) {
  std::vector<std::wstring> names;
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    return names;
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(opened, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name, length);
  }
  RegCloseKey(opened);
  return names;
}

// The programs that the shell's "Open with" offers for files with EXTENSION, read where the
// shell reads them: the file types listed under the extension's OpenWithProgids, and the
// applications whose SupportedTypes name the extension; each with the command that opens a
// file. And the extension's default program (its own value), which "Open with" must not set.
int ProbeOpenWith(const std::wstring& extension) {
  Print("default=" + Utf8(ClassesValue(extension, nullptr)));
  for (const std::wstring& type : ValueNames(extension + L"\\OpenWithProgids")) {
    Print("type " + Utf8(type) + " command=" + Utf8(ClassesValue(type + L"\\shell\\open\\command", nullptr)));
  }
  for (const std::wstring& application : SubkeyNames(L"Applications")) {
    const std::wstring key = L"Applications\\" + application;
    HKEY types = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (key + L"\\SupportedTypes").c_str(), 0, KEY_READ,
                      &types) != ERROR_SUCCESS) {
      continue;
    }
    const bool supported =
        RegQueryValueExW(types, extension.c_str(), nullptr, nullptr, nullptr, nullptr) ==
        ERROR_SUCCESS;
    RegCloseKey(types);
    if (!supported) continue;
    Print("application " + Utf8(application) + " name=" + Utf8(ClassesValue(key, L"FriendlyAppName")) +
          " command=" + Utf8(ClassesValue(key + L"\\shell\\open\\command", nullptr)));
  }
  return 0;
}

// ---- console

// A process of this program started in this process's console (or in a new one), waited for.
struct Started {
  PROCESS_INFORMATION process{};
  bool ok = false;
};

Started Start(const std::wstring& command_line, DWORD flags) {
  Started started;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring line = command_line;
  started.ok = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                              nullptr, &startup, &started.process) != 0;
  return started;
}

std::wstring QuotedCommandLine(int argc, wchar_t** argv, int first) {
  std::wstring line;
  for (int i = first; i < argc; ++i) {
    if (!line.empty()) line += L' ';
    line += L'"';
    line += argv[i];
    line += L'"';
  }
  return line;
}

void PrintCodePages(const char* when) {
  Print(std::string(when) + " input=" + std::to_string(GetConsoleCP()) +
        " output=" + std::to_string(GetConsoleOutputCP()));
}

// The console's code pages set to the OEM page of Western Europe (850), then EXE run in the same
// console; what they are afterwards.
int ProbeCodePages(const std::wstring& command_line) {
  // A program started with its output in files may have no console, or one without code
  // pages (wine's for a program started outside a terminal): it gets a console of its own.
  if (GetConsoleCP() == 0) {
    FreeConsole();
    if (!AllocConsole()) Print("alloc_error=" + std::to_string(GetLastError()));
  }
  SetConsoleCP(850);
  SetConsoleOutputCP(850);
  PrintCodePages("before");
  Started run = Start(command_line, 0);
  if (!run.ok) {
    Print("started=0");
    return 1;
  }
  WaitForSingleObject(run.process.hProcess, 60'000);
  DWORD status = 0;
  GetExitCodeProcess(run.process.hProcess, &status);
  CloseHandle(run.process.hThread);
  CloseHandle(run.process.hProcess);
  Print("status=" + std::to_string(status));
  PrintCodePages("after");
  return 0;
}

// The text of the console this process is attached to, its rows one after another (so a line
// the console wrapped reads whole again), every run of blanks made one.
void PrintConsoleText() {
  const HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (screen == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(screen, &info)) {
    Print("screen=none");
    return;
  }
  const SHORT width = info.dwSize.X;
  std::wstring row(static_cast<std::size_t>(width), L' ');
  std::wstring text;
  for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, row.data(), static_cast<DWORD>(width), COORD{0, y}, &read);
    for (DWORD i = 0; i < read; ++i) {
      if (row[i] != L' ' || (!text.empty() && text.back() != L' ')) text += row[i];
    }
  }
  CloseHandle(screen);
  Print("screen=" + Utf8(text));
}

void PressKey() {
  const HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                   nullptr);
  INPUT_RECORD keys[2] = {};
  for (int i = 0; i < 2; ++i) {
    keys[i].EventType = KEY_EVENT;
    keys[i].Event.KeyEvent.bKeyDown = i == 0;
    keys[i].Event.KeyEvent.wRepeatCount = 1;
    keys[i].Event.KeyEvent.wVirtualKeyCode = 'A';
    keys[i].Event.KeyEvent.uChar.UnicodeChar = L'a';
  }
  DWORD written = 0;
  WriteConsoleInputW(input, keys, 2, &written);
  CloseHandle(input);
}

// EXE in a console of its own, as Explorer starts a console program: still running after a few
// seconds, showing what it shows; then a key pressed in its console, and its end.
int ProbeOwnConsole(const std::wstring& command_line) {
  Started run = Start(command_line, CREATE_NEW_CONSOLE);
  if (!run.ok) {
    Print("started=0");
    return 1;
  }
  const bool ended_early = WaitForSingleObject(run.process.hProcess, 3000) == WAIT_OBJECT_0;
  Print(std::string("kept_open=") + (ended_early ? "0" : "1"));
  if (!ended_early) {
    FreeConsole();
    if (AttachConsole(run.process.dwProcessId)) {
      PrintConsoleText();
      PressKey();
      FreeConsole();
    } else {
      Print("attach=0");
    }
  }
  const bool ended = WaitForSingleObject(run.process.hProcess, 10'000) == WAIT_OBJECT_0;
  DWORD status = 0;
  GetExitCodeProcess(run.process.hProcess, &status);
  if (!ended) TerminateProcess(run.process.hProcess, 1);
  CloseHandle(run.process.hThread);
  CloseHandle(run.process.hProcess);
  Print(std::string("ended_after_key=") + (ended ? "1" : "0") +
        " status=" + std::to_string(status));
  return 0;
}

// Runs COMMAND LINE exactly as given (an uninstaller's "_?=FOLDER" must stand unquoted, though
// the folder has blanks), with this process's standard handles, and ends with its exit status.
int RunCommandLine(const std::wstring& command_line) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  std::wstring line = command_line;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    Print("started=0");
    return 255;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}

int Usage() {
  Print("usage: system_probe version EXE | shortcut LNK | open-with .EXT | "
        "code-pages EXE [ARGS] | own-console EXE | run \"COMMAND LINE\"");
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return Usage();
  const std::wstring what = argv[1];
  if (argc == 3 && what == L"version") return ProbeVersion(argv[2]);
  if (argc == 3 && what == L"shortcut") return ProbeShortcut(argv[2]);
  if (argc == 3 && what == L"open-with") return ProbeOpenWith(argv[2]);
  if (what == L"code-pages") return ProbeCodePages(QuotedCommandLine(argc, argv, 2));
  if (what == L"own-console") return ProbeOwnConsole(QuotedCommandLine(argc, argv, 2));
  if (argc == 3 && what == L"run") return RunCommandLine(argv[2]);
  return Usage();
}
