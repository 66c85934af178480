#include "update/area_programming.h"

#include <cstring>
#include <vector>

#include "device/device_commands.h"
#include "update/area_plan.h"
#include "update/update_texts.h"

namespace qv {
namespace {

struct AreaTexts {
  const char* name;
  const char* erase_failed;
  const char* write_failed;
};

constexpr AreaTexts kProgramTexts{kAreaNames[kProgramArea], text::kProgramFailed,
                                  text::kProgramFailed};
constexpr AreaTexts kSoundTexts{kAreaNames[kSoundArea], text::kEraseSoundFailed,
                                text::kWriteSoundFailed};
constexpr AreaTexts kMapTexts{kAreaNames[kMapArea], text::kEraseMapFailed, text::kWriteMapFailed};

// Estimated cost of erasing one 4 KiB sector.
constexpr uint32_t kEraseMsPerSector = 34;

uint16_t LayoutSector(const AreaWrite& area) {
  return area.present ? static_cast<uint16_t>(area.start_sector) : kAbsentSector;
}

// Sends the area's pages straight from the package buffers. Only when the last page would run
// past the end of its buffer is it sent from a copy padded with 0xFF (the value the sums assume
// there), so nothing outside a buffer is ever read.
bool WriteArea(HidLink& link, const AreaWrite& area, WriteHooks& hooks) {
  const uint64_t page_bytes = static_cast<uint64_t>(area.page_count) * kFlashPageSize;
  if (page_bytes <= area.readable_length) {
    return WriteCommand(link, area.data, area.start_page, area.page_count, hooks);
  }
  std::vector<uint8_t> padded(page_bytes, 0xFF);
  std::memcpy(padded.data(), area.data, area.readable_length);
  return WriteCommand(link, padded.data(), area.start_page, area.page_count, hooks);
}

// Erase and write of one area; the failing step's message on failure.
Result<> ProgramArea(HidLink& link, const AreaWrite& area, const AreaTexts& texts,
                     ProgressContext& progress, ProgressState& state) {
  progress.AreaStarted(texts.name);
  progress.percent.store(ComputePercent(state));
  progress.SetStatusText(text::kErasing);
  progress.PostProgressMessage();
  if (!EraseCommand(link, area.start_sector, area.sector_count)) return Failure{texts.erase_failed};
  SpendRemainingTime(progress, kEraseMsPerSector * area.sector_count);
  ProgressReporter reporter(state, progress);
  if (!WriteArea(link, area, reporter)) return Failure{texts.write_failed};
  return {};
}

}  // namespace

Result<> ProgramAreas(HidLink& link, const CheckedPackage& package, uint32_t data_length,
                      ProgressContext& progress, ProgressState& state) {
  state.blocks_done = 0;
  state.blocks_total = (data_length - kHeaderSize) / kKiB;
  progress.remaining_time_ms = InitialTimeBudgetMs(state.blocks_total);
  const AreaPlan& plan = package.plan;
  const AreaWrite& program = plan.areas[kProgramArea];
  const AreaWrite& sound = plan.areas[kSoundArea];
  const AreaWrite& map = plan.areas[kMapArea];
  // The map travels with its 256-byte prefix, which counts towards the bar.
  if (map.present) state.blocks_total = (data_length - kHeaderSize + kMapPrefixSize) / kKiB;

  if (!SetLayoutCommand(link, LayoutSector(program), LayoutSector(sound), LayoutSector(map))) {
    return Failure{""};  // no message of its own: the run's status line reports it
  }
  state.base_percent = BasePercent(sound.present, map.present);

  if (map.present) {
    if (Result<> done = ProgramArea(link, map, kMapTexts, progress, state); !done) return done;
  }
  if (sound.present) {
    if (Result<> done = ProgramArea(link, sound, kSoundTexts, progress, state); !done) return done;
  }
  return ProgramArea(link, program, kProgramTexts, progress, state);
}

}  // namespace qv
