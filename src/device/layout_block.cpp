#include "device/layout_block.h"

#include "platform/little_endian.h"

namespace qv {

LayoutBlock BuildLayoutBlock(uint32_t program_sector, uint32_t sound_sector, uint32_t map_sector) {
  LayoutBlock block;
  block.fill(0xFF);
  StoreLe16(block.data() + 0, static_cast<uint16_t>(program_sector));
  StoreLe16(block.data() + 2, static_cast<uint16_t>(sound_sector));
  StoreLe16(block.data() + 4, static_cast<uint16_t>(map_sector));
  return block;
}

}  // namespace qv
