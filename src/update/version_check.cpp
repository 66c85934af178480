#include "update/version_check.h"

#include "device/device_commands.h"
#include "package/package_store.h"
#include "update/update_texts.h"

namespace qv {
namespace {

// The known flash chips: the model code shown after "Flash:" and the chip's 16-bit id.
struct FlashIdRow {
  const char* model_code;
  uint16_t flash_id;
};

constexpr std::array<FlashIdRow, 8> kFlashIdTable{{
    {"F10", 0xC216},
    {"F11", 0xC215},
    {"F12", 0xC214},
    {"F13", 0xC213},
    {"F20", 0xEF16},
    {"F21", 0xEF15},
    {"F22", 0xEF14},
    {"F23", 0xEF13},
}};

constexpr uint32_t kLengthByteIndex = 63;
constexpr uint32_t kMaxLength = 64;
constexpr uint32_t kMinVersionLength = 14;
constexpr uint32_t kMinFlashIdLength = 5;

// Answer bytes compared with the version record: the program tag's last three bytes, the
// sound tag and the map tag (bytes 0, 4 and 9 are not compared).
bool SameVersion(const std::array<uint8_t, 64>& answer, const uint8_t* record) {
  constexpr std::array<std::pair<int, int>, 3> kRanges{{{1, 3}, {5, 8}, {10, 13}}};
  for (const auto& [first, last] : kRanges) {
    for (int i = first; i <= last; ++i) {
      if (answer[i] != record[i]) return false;
    }
  }
  return true;
}

}  // namespace

uint8_t HexDigitValue(uint8_t character) {
  if (character >= '0' && character <= '9') return character - '0';
  if (character >= 'a' && character <= 'f') return character - 'a' + 10;
  if (character >= 'A' && character <= 'F') return character - 'A' + 10;
  return 0;
}

uint16_t FourDigitsTo16(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  return static_cast<uint16_t>(((a & 0xF) << 12) | ((b & 0xF) << 8) | ((c & 0xF) << 4) | (d & 0xF));
}

std::optional<std::string> FlashModelCode(uint16_t flash_id) {
  for (const FlashIdRow& row : kFlashIdTable) {
    if (row.flash_id == flash_id) return std::string(row.model_code);
  }
  return std::nullopt;
}

AnswerReading ReadAnswer(const std::array<uint8_t, 64>& answer, const uint8_t* version_record) {
  AnswerReading reading;
  const uint32_t length = answer[kLengthByteIndex];
  if (length > kMaxLength) return reading;
  if (length >= kMinFlashIdLength) {
    const uint16_t id =
        FourDigitsTo16(HexDigitValue(answer[length - 5]), HexDigitValue(answer[length - 4]),
                       HexDigitValue(answer[length - 3]), HexDigitValue(answer[length - 2]));
    if (auto model = FlashModelCode(id)) reading.flash_text = text::kFlashPrefix + *model;
  }
  if (answer[0] != kVersionMark || length < kMinVersionLength) return reading;
  reading.same_version = SameVersion(answer, version_record);
  return reading;
}

QueryOutcome QueryAndCheckVersion(HidLink& link, const uint8_t* version_record, Dialogs& dialogs,
                                  ProgressContext& progress, QueryAnswer* answer_out) {
  std::array<uint8_t, 64> answer;
  answer.fill(0xFF);
  if (QueryExchange(link, answer) == 0) return QueryOutcome::kGoOn;
  if (answer_out != nullptr) *answer_out = QueryAnswer{true, answer};
  const AnswerReading reading = ReadAnswer(answer, version_record);
  if (reading.flash_text) progress.SetFlashText(*reading.flash_text);
  if (!reading.same_version) return QueryOutcome::kGoOn;
  return dialogs.AskYesNo(text::kSameVersionQuestion) ? QueryOutcome::kGoOn
                                                      : QueryOutcome::kDeclined;
}

std::optional<std::string> FlashIdCharacters(const std::array<uint8_t, 64>& answer) {
  const uint32_t length = answer[kLengthByteIndex];
  if (length < 5 || length > answer.size()) return std::nullopt;
  return std::string(answer.begin() + (length - 5), answer.begin() + (length - 1));
}

AnswerSummary SummariseAnswer(const std::array<uint8_t, 64>& answer,
                              const uint8_t* version_record_or_null) {
  AnswerSummary summary;
  if (auto id = FlashIdCharacters(answer)) {
    for (char& c : *id) {
      if (c < 0x20 || c > 0x7E) c = '?';
    }
    summary.flash_id = *id;
  }
  // Without a package the version is compared with nothing that is used.
  static constexpr uint8_t kNoVersion[kVersionRecordSize] = {};
  const AnswerReading reading = ReadAnswer(
      answer, version_record_or_null != nullptr ? version_record_or_null : kNoVersion);
  summary.flash_text = reading.flash_text;
  if (version_record_or_null != nullptr) summary.same_version = reading.same_version;
  return summary;
}

bool VersionCanMatchDevice(std::span<const uint8_t> version_record) {
  return !version_record.empty() && version_record[0] == kVersionMark;
}

}  // namespace qv
