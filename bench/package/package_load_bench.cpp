// Loads and descrambles a 64 MiB package and reads the same file plainly with read() into a
// fresh buffer, several times each, and prints the ratio of the best times (target <= 1.5).

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>
#include <vector>

#include "package/descramble.h"
#include "package/package_header.h"
#include "package/package_load.h"
#include "platform/little_endian.h"

namespace {

constexpr std::size_t kDataSize = 64u << 20;
constexpr int kRounds = 7;

class SilentDialogs final : public qv::Dialogs {
 public:
  void ShowMessage(std::string_view text) override {
    std::fprintf(stderr, "unexpected message: %.*s\n", int(text.size()), text.data());
  }
  [[nodiscard]] bool AskYesNo(std::string_view) override { return false; }
};

class FixedClock final : public qv::Clock {
 public:
  [[nodiscard]] uint32_t TickMs() override { return 1; }
  void SleepMs(uint32_t) override {}
};

void WritePackage(const std::filesystem::path& path) {
  std::vector<uint8_t> file(qv::kKeyBlockSize + kDataSize);
  uint32_t seed = 1;
  for (auto& b : file) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
  uint8_t* data = file.data() + qv::kKeyBlockSize;
  // A header without a map area, so the load does no map step.
  qv::StoreLe32(data + 36, kDataSize - 128);
  qv::StoreLe32(data + 68, qv::kAbsentLength);
  qv::KeyBlock key{};
  std::copy_n(file.begin(), key.size(), key.begin());
  qv::ScrambleMask(key).Apply({data, kDataSize}, 0);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
}

bool PlainRead(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  const auto size = static_cast<std::size_t>(::lseek(fd, 0, SEEK_END));
  ::lseek(fd, 0, SEEK_SET);
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[size]);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, buffer.get() + done, std::min<std::size_t>(1 << 20, size - done));
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return done == size;
}

bool Load(const std::filesystem::path& path) {
  SilentDialogs dialogs;
  FixedClock clock;
  qv::RuntimeRandom random;
  qv::PackageStore store;
  return qv::LoadPackage(store, {path, path.parent_path() / "absent-readme.txt"}, dialogs, random,
                         clock);
}

template <typename F>
double Seconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  if (!f()) std::fprintf(stderr, "run failed\n");
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
  const auto path = std::filesystem::temp_directory_path() / "qv_bench_package.bin";
  WritePackage(path);
  double plain = 1e9;
  double load = 1e9;
  (void)PlainRead(path);  // warm the page cache
  for (int round = 0; round < kRounds; ++round) {
    plain = std::min(plain, Seconds([&] { return PlainRead(path); }));
    load = std::min(load, Seconds([&] { return Load(path); }));
  }
  std::filesystem::remove(path);
  std::printf("package load, 64 MiB: plain read %.1f ms, load and descramble %.1f ms\n",
              plain * 1e3, load * 1e3);
  std::printf("ratio load/plain: %.2f (target <= 1.50)\n", load / plain);
  return 0;
}
