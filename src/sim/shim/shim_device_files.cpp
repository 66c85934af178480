#include "sim/shim/shim_device_files.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "sim/sim_frame.h"

namespace qv::sim::shim {

ShimDeviceFiles::ShimDeviceFiles(Clock& clock, uint32_t start_tick, const std::string& dir,
                                 const std::string& name)
    : clock_(clock), start_tick_(start_tick) {
  // Binary mode: the same bytes, one '\n' a line, on every system.
  trace_ = std::fopen((dir + "/" + name + ".trace").c_str(), "wb");
  events_ = std::fopen((dir + "/" + name + ".events").c_str(), "wb");
}

ShimDeviceFiles::~ShimDeviceFiles() {
  if (trace_ != nullptr) std::fclose(trace_);
  if (events_ != nullptr) std::fclose(events_);
}

void ShimDeviceFiles::Stamp(std::FILE* file) {
  std::fprintf(file, "%8u ", static_cast<unsigned>(clock_.TickMs() - start_tick_));
}

void ShimDeviceFiles::OnReport(Direction direction, const uint8_t* bytes, std::size_t size) {
  if (trace_ == nullptr) return;
  Stamp(trace_);
  std::fputs(direction == Direction::kToDevice ? ">" : "<", trace_);
  for (std::size_t i = 0; i < size; ++i) std::fprintf(trace_, " %02X", bytes[i]);
  std::fputc('\n', trace_);
  std::fflush(trace_);
}

void ShimDeviceFiles::OnEvent(const std::string& text) {
  if (events_ == nullptr) return;
  Stamp(events_);
  std::fprintf(events_, "%s\n", text.c_str());
  std::fflush(events_);
}

void ShimDeviceFiles::OnCommand(const SimCommand& command) {
  if (command.opcode == kOpOver || command.opcode == kOpReset) save_requested_ = true;
}

bool SaveFlashImage(const std::string& dir, const std::string& name,
                    const std::vector<uint8_t>& image) {
  const std::string path = dir + "/" + name + ".flash";
  const std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::remove(temporary.c_str());
    return false;
  }
  // std::filesystem::rename replaces an existing image on Windows too, where std::rename fails.
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) std::remove(temporary.c_str());
  return !error;
}

}  // namespace qv::sim::shim
