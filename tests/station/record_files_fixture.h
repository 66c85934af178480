#pragma once

// What the tests of the station's files share: a folder per test, a record line and the text of
// a file.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/host.h"
#include "station/unit_record.h"
#include "station/unit_result.h"

namespace qv::station {

namespace fs = std::filesystem;

inline const std::string kEarlier = "earlier line\n";

inline std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline UnitRecord OneRun(uint64_t unit, const std::string& result = "updated") {
  UnitRecord r;
  r.session = "s";
  r.unit = unit;
  r.attempt = 1;
  r.result = ResultFromText(result);
  r.message = "Updata success !";
  return r;
}

class TargetFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("qv_record_files_" + std::to_string(ProcessId()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

}  // namespace qv::station
