#include "cli/cli_package_report.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include "platform/hex_text.h"
#include "update/version_check.h"

namespace qv::cli {
namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence starting at s[i], or 0 when it is not one.
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t n;
  uint32_t min;
  uint32_t cp;
  if ((lead & 0xE0) == 0xC0) {
    n = 2, min = 0x80, cp = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    n = 3, min = 0x800, cp = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    n = 4, min = 0x10000, cp = lead & 0x07u;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

// For the terminal: control characters would move the cursor or colour the output.
std::string Printable(std::string_view bytes) {
  std::string text = ToValidUtf8(bytes);
  for (char& c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '.';
  }
  return text;
}

nlohmann::json AreaJson(const AreaDescriptor& area) {
  return {{"present", area.present()},
          {"offset", area.offset},
          {"length", area.length},
          {"address", area.address},
          {"version_tag", HexBytes(area.version_tag)},
          {"check_byte", area.check_byte}};
}

}  // namespace

std::string ToValidUtf8(std::string_view bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t n = Utf8SequenceLength(bytes, i);
    if (n == 0) {
      text += kReplacement;
      ++i;
    } else {
      text.append(bytes.substr(i, n));
      i += n;
    }
  }
  return text;
}

bool VersionCanMatchDevice(std::span<const uint8_t> version_record) {
  return !version_record.empty() && version_record[0] == kVersionMark;
}

std::string VersionMatchText(std::span<const uint8_t> version_record) {
  if (VersionCanMatchDevice(version_record)) {
    return "can match a device's (program tag bytes 2-4, the sound and the map tag are "
           "compared)";
  }
  const std::string first = version_record.empty() ? "--" : HexBytes(version_record.first(1));
  return "can never match a device's: the program tag starts with " + first +
         ", not 50 ('P'), the mark of a device's answer";
}

PackageReport ReportFromStore(const PackageStore& store) {
  PackageReport report;
  report.data_length = store.data_length;
  report.header = store.header_copy;
  report.version_record = store.version_record;
  report.information_text = store.information_text;
  if (store.map_buffer && store.map_buffer_size >= kMapPrefixSize) {
    MapPrefix prefix{};
    std::copy_n(store.map_buffer.get(), kMapPrefixSize, prefix.begin());
    report.map_prefix = prefix;
  }
  return report;
}

nlohmann::json ReportJson(const PackageReport& report) {
  nlohmann::json areas = nlohmann::json::object();
  for (int i = 0; i < kAreaCount; ++i) {
    areas[kAreaNames[i]] = AreaJson(ReadAreaDescriptor(report.header, static_cast<AreaIndex>(i)));
  }
  nlohmann::json json = {
      {"data_length", report.data_length},
      {"text1", ToValidUtf8(ReadHeaderText1(report.header))},
      {"text2", ToValidUtf8(ReadHeaderText2(report.header))},
      {"scramble_count", ReadScrambleCount(report.header)},
      {"areas", areas},
      {"version_record", HexBytes(std::span(report.version_record).first(kVersionRecordSize))},
      {"area_lengths", report.results.lengths},
      {"area_sums", report.results.sums},
      {"map_prefix", nullptr},
      {"version_can_match", VersionCanMatchDevice(report.version_record)},
      {"check", report.check}};
  if (report.map_prefix) json["map_prefix"] = HexBytes(*report.map_prefix);
  return json;
}

std::string ReportText(const PackageReport& report) {
  std::string text;
  char line[160];
  const auto add = [&](const std::string& s) { text += s + "\n"; };
  add("Data length:    " + std::to_string(report.data_length) + " bytes");
  add("Text 1:         \"" + Printable(ReadHeaderText1(report.header)) + "\"");
  add("Text 2:         \"" + Printable(ReadHeaderText2(report.header)) + "\"");
  add("Scramble count: " + std::to_string(ReadScrambleCount(report.header)));
  add("Area     Present  Offset      Length      Address     Version   Check  Sum");
  for (int i = 0; i < kAreaCount; ++i) {
    const AreaDescriptor a = ReadAreaDescriptor(report.header, static_cast<AreaIndex>(i));
    std::snprintf(line, sizeof line, "%-8s %-8s %-11s %-11s %-11s %-9s 0x%02x   %s", kAreaNames[i],
                  a.present() ? "yes" : "no", HexNumber(a.offset).c_str(), HexNumber(a.length).c_str(),
                  HexNumber(a.address).c_str(), HexBytes(a.version_tag).c_str(), a.check_byte,
                  HexNumber(report.results.sums[i]).c_str());
    add(line);
  }
  std::snprintf(line, sizeof line, "Area lengths:   %s %s %s",
                HexNumber(report.results.lengths[0]).c_str(), HexNumber(report.results.lengths[1]).c_str(),
                HexNumber(report.results.lengths[2]).c_str());
  add(line);
  add("Version record: " + HexBytes(std::span(report.version_record).first(kVersionRecordSize)));
  add("Version check:  " + VersionMatchText(report.version_record));
  add("Map prefix:     " + (report.map_prefix ? HexBytes(*report.map_prefix) : "none"));
  add("Check:          " + report.check);
  add("Readme:");
  // The readme lines follow the three leading line ends, each ending with "\r\n".
  std::string_view rest(report.information_text);
  rest.remove_prefix(std::min<std::size_t>(6, rest.size()));
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find("\r\n"), rest.size());
    add("  " + Printable(rest.substr(0, end)));
    rest.remove_prefix(std::min(end + 2, rest.size()));
  }
  return text;
}

}  // namespace qv::cli
