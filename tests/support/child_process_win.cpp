#include <windows.h>

#include <string>
#include <string_view>

#include "child_process.h"

namespace qv::test {
namespace {

std::wstring Wide(std::string_view text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string Utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size,
                      nullptr, nullptr);
  return narrow;
}

// One argument as the C runtime's command-line parser reads it back: quoted when it holds a
// blank or a quote or is empty; inside the quotes a quote is escaped with a backslash, and the
// backslashes right before a quote (or the closing quote) are doubled. Other backslashes stand
// as they are, so paths keep their separators.
std::wstring QuotedArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}

std::wstring CommandLine(const std::vector<std::string>& argv) {
  std::wstring line;
  for (const std::string& argument : argv) {
    if (!line.empty()) line += L' ';
    line += QuotedArgument(Wide(argument));
  }
  return line;
}

std::vector<std::string> InheritedEnvironment() {
  std::vector<std::string> entries;
  wchar_t* block = GetEnvironmentStringsW();
  if (block == nullptr) return entries;
  for (const wchar_t* entry = block; *entry != L'\0'; entry += wcslen(entry) + 1) {
    entries.push_back(Utf8(entry));
  }
  FreeEnvironmentStringsW(block);
  return entries;
}

// The environment block CreateProcessW takes: NAME=value strings, each ended by a NUL, and a
// NUL after the last.
std::wstring EnvironmentBlock(const std::vector<std::string>& entries) {
  std::wstring block;
  for (const std::string& entry : entries) {
    block += Wide(entry);
    block += L'\0';
  }
  block += L'\0';
  return block;
}

HANDLE InheritableFile(const std::filesystem::path& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  // Shared for reading and deleting: the test reads the output while the child writes it, and
  // removes the folder afterwards.
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& extra_env,
                           const std::filesystem::path& output_dir,
                           const std::vector<std::string>& dropped_prefixes)
    : out_path_(output_dir / "stdout.txt"), err_path_(output_dir / "stderr.txt") {
  if (argv.empty()) return;
  const HANDLE input = InheritableFile(L"NUL", GENERIC_READ, OPEN_EXISTING);
  const HANDLE output = InheritableFile(out_path_, GENERIC_WRITE, CREATE_ALWAYS);
  const HANDLE errors = InheritableFile(err_path_, GENERIC_WRITE, CREATE_ALWAYS);
  std::wstring command_line = CommandLine(argv);
  std::wstring environment =
      EnvironmentBlock(ChildEnvironment(InheritedEnvironment(), extra_env, dropped_prefixes));
  const std::wstring program = Wide(argv[0]);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = errors;
  PROCESS_INFORMATION process{};
  if (input != INVALID_HANDLE_VALUE && output != INVALID_HANDLE_VALUE &&
      errors != INVALID_HANDLE_VALUE &&
      CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                     CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &startup,
                     &process) != 0) {
    CloseHandle(process.hThread);
    process_ = process.hProcess;
    pid_ = process.dwProcessId;
  }
  for (const HANDLE handle : {input, output, errors}) {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
}

ChildProcess::~ChildProcess() { Kill(); }

void ChildProcess::Kill() {
  if (process_ == nullptr) return;
  TerminateProcess(process_, 137);
  WaitForSingleObject(process_, INFINITE);
  CloseHandle(process_);
  process_ = nullptr;
  pid_ = -1;
}

int ChildProcess::Wait(int timeout_ms) {
  if (process_ == nullptr) return status_;
  if (WaitForSingleObject(process_, static_cast<DWORD>(timeout_ms)) != WAIT_OBJECT_0) {
    Kill();
    return -1;
  }
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  status_ = static_cast<int>(code);
  CloseHandle(process_);
  process_ = nullptr;
  pid_ = -1;
  return status_;
}

}  // namespace qv::test
