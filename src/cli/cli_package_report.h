#pragma once

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "package/package_header.h"
#include "package/package_map.h"
#include "package/package_store.h"
#include "update/version_check.h"

namespace qv::cli {

// What `qvupdate info` reports about a loaded package.
struct PackageReport {
  uint32_t data_length = 0;
  std::array<uint8_t, kHeaderSize> header{};  // as loaded, before the update-time checks
  std::array<uint8_t, 20> version_record{};
  AreaResults results;
  std::optional<MapPrefix> map_prefix;
  std::string information_text;
  std::string check = "ok";  // "ok" or the message of the first failing check
  // Lines on the package's signature, each ending with a line end, shown before the check (the
  // text report only; filled by the caller).
  std::string signature_text = {};
};

// One line on how the version is checked, for the package maker (VersionCanMatchDevice says
// whether it can match at all).
[[nodiscard]] std::string VersionMatchText(std::span<const uint8_t> version_record);

// Takes the load results from a loaded store; results and check are filled by the caller.
[[nodiscard]] PackageReport ReportFromStore(const PackageStore& store);

[[nodiscard]] nlohmann::json ReportJson(const PackageReport& report);
[[nodiscard]] std::string ReportText(const PackageReport& report);

// Valid UTF-8 whatever the bytes: valid sequences are kept, every other byte becomes U+FFFD.
[[nodiscard]] std::string ToValidUtf8(std::string_view bytes);

}  // namespace qv::cli
