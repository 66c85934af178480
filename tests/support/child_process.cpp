#include "child_process.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

namespace qv::test {
namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif
// Environment variable names compare without case on Windows, as the system does.
constexpr bool kNamesIgnoreCase = kWindows;

std::string NameOf(const std::string& entry) {
  std::string name = entry.substr(0, entry.find('='));
  if (kNamesIgnoreCase) {
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return name;
}

bool StartsWithAny(const std::string& text, const std::vector<std::string>& prefixes) {
  return std::any_of(prefixes.begin(), prefixes.end(),
                     [&](const std::string& prefix) { return text.rfind(prefix, 0) == 0; });
}

}  // namespace

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& inherited,
                                          const std::vector<std::string>& extra_env,
                                          const std::vector<std::string>& dropped_prefixes) {
  std::vector<std::string> names;
  for (const std::string& entry : extra_env) names.push_back(NameOf(entry));
  std::vector<std::string> env;
  for (const std::string& entry : inherited) {
    if (StartsWithAny(entry, dropped_prefixes)) continue;
    if (std::find(names.begin(), names.end(), NameOf(entry)) != names.end()) continue;
    env.push_back(entry);
  }
  env.insert(env.end(), extra_env.begin(), extra_env.end());
  return env;
}

ProgramRun RunProgram(const std::vector<std::string>& argv,
                      const std::vector<std::string>& extra_env,
                      const std::filesystem::path& output_dir,
                      const std::vector<std::string>& dropped_prefixes, int timeout_ms) {
  ProgramRun run;
  {
    ChildProcess child(argv, extra_env, output_dir, dropped_prefixes);
    run.status = child.Wait(timeout_ms);
    run.out = child.Stdout();
    run.err = child.Stderr();
  }
  return run;
}

namespace {

// A Windows program's text-mode streams end lines with CR LF; the tests compare lines ending in
// LF, as the program wrote them.
std::string ProgramText(std::string text) {
  if (!kWindows) return text;
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines += text[i];
  }
  return lines;
}

}  // namespace

std::string ChildProcess::Stdout() const { return ProgramText(ReadTextFile(out_path_)); }
std::string ChildProcess::Stderr() const { return ProgramText(ReadTextFile(err_path_)); }

std::string ReadTextFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<uint8_t> ReadBinaryFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace qv::test
