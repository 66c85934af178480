#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "device/hid_link.h"
#include "platform/dialogs.h"
#include "update/progress_context.h"

namespace qv {

// The first byte of a device's answer when the answer carries a version. It stands where the
// version record holds the program tag's first byte, which is therefore never compared.
inline constexpr uint8_t kVersionMark = 'P';

// '0'..'9' -> 0..9, 'a'..'f' and 'A'..'F' -> 10..15, anything else -> 0.
[[nodiscard]] uint8_t HexDigitValue(uint8_t character);
// Four digit values, most significant first, each taken to its low 4 bits.
[[nodiscard]] uint16_t FourDigitsTo16(uint8_t a, uint8_t b, uint8_t c, uint8_t d);

// The model code of a flash id (up to its first zero byte), or nothing for an unknown id.
[[nodiscard]] std::optional<std::string> FlashModelCode(uint16_t flash_id);

// What the device's answer to the query says.
struct AnswerReading {
  std::optional<std::string> flash_text;  // "Flash:" + model code, when the id is known
  bool same_version = false;              // the package would re-install the running version
};

// Reads an answer of 64 bytes (0xFF beyond what the device sent) against the 14-byte version
// record. The length byte (answer byte 63) must be at most 64 for anything to be read; the
// flash id sits in the four bytes before the last one, so a length byte below 5 has none.
[[nodiscard]] AnswerReading ReadAnswer(const std::array<uint8_t, 64>& answer,
                                       const uint8_t* version_record);

enum class QueryOutcome { kGoOn, kDeclined };

// The device's answer as the query received it, for a record of the unit.
struct QueryAnswer {
  bool received = false;
  std::array<uint8_t, 64> bytes{};  // 0xFF beyond what the device sent
};

// Queries the device, sets the flash text when the chip is known, and asks before re-installing
// the version the device already runs. kDeclined when the user says No. When `answer_out` is
// given it receives the answer.
[[nodiscard]] QueryOutcome QueryAndCheckVersion(HidLink& link, const uint8_t* version_record,
                                                Dialogs& dialogs, ProgressContext& progress,
                                                QueryAnswer* answer_out = nullptr);

// The flash id characters of an answer (four, at length byte - 5 .. - 2), or nothing when the
// length byte leaves no room for them.
[[nodiscard]] std::optional<std::string> FlashIdCharacters(const std::array<uint8_t, 64>& answer);

// What a device's answer tells a person who asked for it (`qvupdate devices --query`): its flash
// id with every character that is not printable ASCII as '?', the flash's model where the id is
// known, and, given a package's version record, whether the device runs that version.
struct AnswerSummary {
  std::optional<std::string> flash_id;
  std::optional<std::string> flash_text;
  std::optional<bool> same_version;
};
[[nodiscard]] AnswerSummary SummariseAnswer(const std::array<uint8_t, 64>& answer,
                                            const uint8_t* version_record_or_null);

// Whether a package's version record can ever be recognised as installed. A device answers
// with the tags of the package it was updated with, and an answer counts as a version only with
// the mark kVersionMark where the record holds the program tag's first byte: a tag that starts
// otherwise is never recognised, and the re-install question never comes.
[[nodiscard]] bool VersionCanMatchDevice(std::span<const uint8_t> version_record);

}  // namespace qv
