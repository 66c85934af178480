#include "update/version_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace qv {
namespace {

// Version record: program tag "V123", 'S', sound tag "S456", 'C', map tag "M789".
const uint8_t kRecord[20] = {'V', '1', '2', '3', 'S', 'S', '4', '5', '6', 'C', 'M', '7', '8', '9'};

// A 64-byte answer: 'P' + the version bytes the device reports, the flash id just before the
// length byte position, 0xFF elsewhere.
std::array<uint8_t, 64> Answer(uint8_t length, std::string_view flash_id = "C216",
                               std::string_view version = "P123xS456xM789") {
  std::array<uint8_t, 64> answer;
  answer.fill(0xFF);
  std::memcpy(answer.data(), version.data(), version.size());
  if (length >= 5 && length <= 64) {
    std::memcpy(answer.data() + length - 5, flash_id.data(), 4);
  }
  answer[63] = length;
  return answer;
}

TEST(HexDigits, ValuesAndCombination) {
  const std::pair<char, int> digits[] = {{'0', 0},  {'9', 9}, {'a', 10}, {'f', 15}, {'A', 10},
                                         {'F', 15}, {'g', 0}, {'G', 0},  {' ', 0},  {'\xFF', 0}};
  for (auto [c, v] : digits) EXPECT_EQ(HexDigitValue(static_cast<uint8_t>(c)), v) << c;
  EXPECT_EQ(FourDigitsTo16(0xC, 2, 1, 6), 0xC216);
  EXPECT_EQ(FourDigitsTo16(0x1C, 0xF2, 0x31, 0x46), 0xC216);  // low 4 bits of each
}

TEST(FlashTable, KnownIdsOnly) {
  EXPECT_EQ(FlashModelCode(0xC216), "F10");
  EXPECT_EQ(FlashModelCode(0xEF13), "F23");
  EXPECT_EQ(FlashModelCode(0x0000), std::nullopt);
  EXPECT_EQ(FlashModelCode(0x1234), std::nullopt);
}

TEST(Answer, ReadsFlashTextAndVersion) {
  struct Case {
    const char* name;
    std::array<uint8_t, 64> answer;
    std::optional<std::string> flash_text;
    bool same_version;
  };
  auto with_byte = [](std::array<uint8_t, 64> a, int index, uint8_t value) {
    a[index] = value;
    return a;
  };
  const Case cases[] = {
      {"same version, known chip", Answer(20), "Flash:F10", true},
      {"lower-case hex", Answer(20, "c216"), "Flash:F10", true},
      {"other chip", Answer(20, "EF13"), "Flash:F23", true},
      {"unknown chip", Answer(20, "1234"), std::nullopt, true},
      {"not hex counts as 0: id 0 never matches", Answer(20, "zzzz"), std::nullopt, true},
      {"length byte 64", Answer(64), "Flash:F10", true},
      {"length byte 65 reads nothing", Answer(65), std::nullopt, false},
      {"length byte 0xFF (short report)", Answer(0xFF), std::nullopt, false},
      {"length byte 14 asks", Answer(14, "xM78"), std::nullopt, true},
      {"length byte 13: id looked up, no question", Answer(13, "C214"), "Flash:F12", false},
      {"length byte 5: id in bytes 0..3", Answer(5, "EF14"), "Flash:F22", false},
      {"length byte 4: no id before the answer", Answer(4), std::nullopt, false},
      {"length byte 0", Answer(0), std::nullopt, false},
      {"no P", Answer(20, "C216", "Q123xS456xM789"), "Flash:F10", false},
      {"bytes 4 and 9 are not compared", Answer(20, "C216", "P123?S456?M789"), "Flash:F10", true},
      {"program differs", with_byte(Answer(20), 3, '4'), "Flash:F10", false},
      {"sound differs", with_byte(Answer(20), 5, 's'), "Flash:F10", false},
      {"map differs", with_byte(Answer(20), 13, '0'), "Flash:F10", false},
  };
  for (const Case& c : cases) {
    const AnswerReading reading = ReadAnswer(c.answer, kRecord);
    EXPECT_EQ(reading.flash_text, c.flash_text) << c.name;
    EXPECT_EQ(reading.same_version, c.same_version) << c.name;
  }
}

}  // namespace
}  // namespace qv
