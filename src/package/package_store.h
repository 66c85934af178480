#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace qv {

inline constexpr uint32_t kHeaderSize = 128;
inline constexpr uint32_t kVersionRecordSize = 14;

// The loaded package, owned by the application: the descrambled package image, the prepared map
// buffer, the header copy and the version record. Filled once by LoadPackage and only read
// afterwards, so runs on several devices at once share one.
struct PackageStore {
  std::unique_ptr<uint8_t[]> image;  // image_size bytes; the first data_length hold package data
  std::unique_ptr<uint8_t[]> map_buffer;  // map_buffer_size bytes; null without a map area
  uint32_t image_size = 0;
  uint32_t map_buffer_size = 0;
  uint32_t position = 0;     // working position inside the image while reading and checking
  uint32_t data_length = 0;  // D: package data bytes, key block excluded

  std::array<uint8_t, kHeaderSize> header_copy{};
  // 14 bytes of version record followed by six zero bytes.
  std::array<uint8_t, 20> version_record{};
  std::string information_text;  // shown on the welcome page

  // Frees the image and the map buffer (each only if held); harmless when called twice.
  void Release() {
    image.reset();
    map_buffer.reset();
    image_size = 0;
    map_buffer_size = 0;
  }
};

}  // namespace qv
