// Drives the hidapi C API step by step, as named on the command line, and prints what it sees.
// Linked against the system's hidapi; the tests run it with the simulator preloaded.
//
// Steps: enum | list (every entry in full) | open:<index> (closes the one open before) |
//        openserial:<serial> (hid_open) | why (errno and hid_error(NULL) of the last open) |
//        write:<query|over|reset|short> | read:<timeout ms> |
//        control:<line> (appended to $QVSIM_CONTROL) | sleep:<ms> | info | close | exit
#include <hidapi/hidapi.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes CommandReport(std::initializer_list<unsigned char> frame) {
  Bytes report(65, 0xCC);
  report[0] = 0;
  std::size_t at = 1;
  for (unsigned char byte : frame) report[at++] = byte;
  return report;
}

Bytes NamedReport(const std::string& name) {
  if (name == "query") {
    return CommandReport(
        {0xA7, 0x0E, 0x80, 0, 0, 0, 0x01, 0, 0, 0, 0x79, 0x50, 0x71, 0x06, 0x60, 0x06, 0, 0});
  }
  const unsigned char opcode = name == "over" ? 0xA4 : 0xA5;
  const unsigned char sum = name == "over" ? 0x78 : 0x79;
  Bytes report = CommandReport({opcode, 0x0E, 0x78, 0x56, 0x34, 0x12, 0x01, 0xEF, 0xCD, 0xAB, 0x79,
                                0x50, 0x71, 0x06, sum, 0x01, 0, 0});
  if (name == "short") report.resize(64);
  return report;
}

void PrintHex(const unsigned char* data, int size) {
  for (int i = 0; i < size; ++i) std::printf(" %02X", data[i]);
}

// A wide string as printable ASCII, every other code unit as \u{hex}: a UTF-16 surrogate pair
// shows as two units, a UTF-32 character as one.
void PrintWide(const wchar_t* text) {
  if (text == nullptr) {
    std::printf("(null)");
    return;
  }
  for (const wchar_t* c = text; *c != L'\0'; ++c) {
    const auto unit = static_cast<unsigned long>(*c);
    if (unit >= 0x20 && unit < 0x7F && unit != '\\') {
      std::printf("%c", static_cast<char>(unit));
    } else {
      std::printf("\\u{%lX}", unit);
    }
  }
}

struct Probe {
  std::vector<std::string> paths;
  hid_device* dev = nullptr;
  int open_errno = 0;

  void Enumerate() {
    hid_device_info* list = hid_enumerate(0x0416, 0xB501);
    paths.clear();
    for (hid_device_info* info = list; info != nullptr; info = info->next) {
      paths.emplace_back(info->path);
    }
    hid_free_enumeration(list);
    std::printf("enum %zu", paths.size());
    for (const std::string& path : paths) std::printf(" %s", path.c_str());
    std::printf("\n");
  }

  void List() {
    hid_device_info* list = hid_enumerate(0x0416, 0xB501);
    for (hid_device_info* info = list; info != nullptr; info = info->next) {
      std::printf("%s if=%d page=%04X serial=", info->path, info->interface_number,
                  info->usage_page);
      PrintWide(info->serial_number);
      std::printf(" product=");
      PrintWide(info->product_string);
      std::printf("\n");
    }
    hid_free_enumeration(list);
  }

  void Open(std::size_t index) {
    if (dev != nullptr) hid_close(dev);
    // Set beforehand, so that a library that leaves errno alone is told from one that clears it.
    errno = EINVAL;
    dev = index < paths.size() ? hid_open_path(paths[index].c_str()) : nullptr;
    open_errno = errno;
    std::printf("open %s\n", dev != nullptr ? "ok" : "failed");
  }

  void Why() const {
    const char* name = open_errno == EACCES ? "EACCES" : open_errno == 0 ? "0" : "other";
    std::printf("why errno=%s error=", name);
    PrintWide(hid_error(nullptr));
    std::printf("\n");
  }

  void Write(const std::string& name) {
    const Bytes report = NamedReport(name);
    std::printf("write %d\n", hid_write(dev, report.data(), report.size()));
  }

  void Read(int timeout) {
    std::array<unsigned char, 80> buffer{};
    const int n = hid_read_timeout(dev, buffer.data(), buffer.size(), timeout);
    std::printf("read %d", n);
    PrintHex(buffer.data(), n);
    std::printf("\n");
  }

  void Info() {
    wchar_t text[64];
    const int result = hid_get_serial_number_string(dev, text, 64);
    hid_device_info* info = hid_get_device_info(dev);
    std::printf("info %d %ls %04X:%04X %s\n", result, text, info->vendor_id, info->product_id,
                hid_version_str());
  }

  static void Control(const std::string& line) {
    const char* path = std::getenv("QVSIM_CONTROL");
    std::FILE* file = path != nullptr ? std::fopen(path, "a") : nullptr;
    if (file == nullptr) std::exit(3);
    std::fprintf(file, "%s\n", line.c_str());
    std::fclose(file);
  }

  void Step(const std::string& step) {
    const std::size_t colon = step.find(':');
    const std::string verb = step.substr(0, colon);
    const std::string argument = colon == std::string::npos ? "" : step.substr(colon + 1);
    if (verb == "enum") {
      Enumerate();
    } else if (verb == "list") {
      List();
    } else if (verb == "why") {
      Why();
    } else if (verb == "open") {
      Open(std::stoul(argument));
    } else if (verb == "openserial") {
      const std::wstring serial(argument.begin(), argument.end());
      errno = EINVAL;
      dev = hid_open(0x0416, 0xB501, serial.c_str());
      open_errno = errno;
      std::printf("open %s\n", dev != nullptr ? "ok" : "failed");
    } else if (verb == "write") {
      Write(argument);
    } else if (verb == "read") {
      Read(std::stoi(argument));
    } else if (verb == "control") {
      Control(argument);
    } else if (verb == "sleep") {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(argument)));
    } else if (verb == "info") {
      Info();
    } else if (verb == "close") {
      hid_close(dev);
      dev = nullptr;
      std::printf("close\n");
    } else if (verb == "exit") {
      std::printf("exit %d\n", hid_exit());
    } else {
      std::fprintf(stderr, "unknown step %s\n", step.c_str());
      std::exit(2);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (hid_init() != 0) return 1;
  Probe probe;
  for (int i = 1; i < argc; ++i) probe.Step(argv[i]);
  if (probe.dev != nullptr) hid_close(probe.dev);
  std::fflush(stdout);
  return 0;
}
