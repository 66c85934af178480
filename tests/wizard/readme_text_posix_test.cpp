// On Linux a readme that is not UTF-8 is read as GB18030, the code page this device family's
// readme files are written in; bytes valid in neither stand for their Latin-1 characters.
#include <gtest/gtest.h>

#include "wizard/readme_text.h"

namespace qv {
namespace {

TEST(InformationText, ReadsAReadmeThatIsNotUtf8InTheChineseCodePage) {
  EXPECT_EQ(InformationTextForDisplay("\xB0\xE6\xB1\xBE\r\n"), "\xE7\x89\x88\xE6\x9C\xAC\n");
  EXPECT_EQ(InformationTextForDisplay("\xD6\xD0\xCE\xC4"), "\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(InformationTextForDisplay("\xFF\x41\xFE"), "\xC3\xBF" "A" "\xC3\xBE");
}

}  // namespace
}  // namespace qv
