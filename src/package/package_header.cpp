#include "package/package_header.h"

#include <algorithm>

#include "platform/little_endian.h"

namespace qv {
namespace {

std::string ReadText(const std::array<uint8_t, kHeaderSize>& header, uint32_t offset,
                     uint32_t size) {
  const auto* begin = header.data() + offset;
  const auto* end = std::find(begin, begin + size, uint8_t{0});
  return std::string(begin, end);
}

}  // namespace

AreaDescriptor ReadAreaDescriptor(const std::array<uint8_t, kHeaderSize>& header, AreaIndex area) {
  const uint8_t* d = header.data() + kDescriptorOffset + kDescriptorSize * area;
  AreaDescriptor descriptor;
  descriptor.offset = LoadLe32(d);
  descriptor.length = LoadLe32(d + 4);
  descriptor.address = LoadLe32(d + 8);
  std::copy(d + 12, d + 16, descriptor.version_tag.begin());
  descriptor.check_byte = header[kCheckByteOffset + area];
  return descriptor;
}

uint32_t ReadScrambleCount(const std::array<uint8_t, kHeaderSize>& header) {
  return LoadLe32(header.data() + kScrambleCountOffset);
}

std::string ReadHeaderText1(const std::array<uint8_t, kHeaderSize>& header) {
  return ReadText(header, kText1Offset, kText1Size);
}

std::string ReadHeaderText2(const std::array<uint8_t, kHeaderSize>& header) {
  return ReadText(header, kText2Offset, kText2Size);
}

std::array<uint8_t, 20> BuildVersionRecord(const std::array<uint8_t, kHeaderSize>& header) {
  std::array<uint8_t, 20> record{};
  const auto program = ReadAreaDescriptor(header, kProgramArea).version_tag;
  const auto sound = ReadAreaDescriptor(header, kSoundArea).version_tag;
  const auto map = ReadAreaDescriptor(header, kMapArea).version_tag;
  std::copy(program.begin(), program.end(), record.begin());
  record[4] = 'S';
  std::copy(sound.begin(), sound.end(), record.begin() + 5);
  record[9] = 'C';
  std::copy(map.begin(), map.end(), record.begin() + 10);
  return record;
}

}  // namespace qv
