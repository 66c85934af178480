#include "cli/cli_package_report.h"

#include <algorithm>
#include <cstdio>
#include <span>

#include "platform/hex_text.h"
#include "platform/utf8_sequence.h"
#include "update/version_check.h"

namespace qv::cli {
namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";

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
    const std::size_t n = Utf8SequenceLength(bytes.substr(i));
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
  text += report.signature_text;
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
