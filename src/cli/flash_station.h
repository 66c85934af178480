#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::cli {

struct StationOptions {
  std::string package;
  bool all = false;         // every attached device at once
  bool continuous = false;  // device after device until Ctrl-C or count
  uint64_t count = 0;       // with continuous: start no unit past this many (0: no limit)
  std::string device;       // PATH or SERIAL: this device instead of the first
  bool wait = false;        // wait while another updater process holds the device
  std::string reinstall = "ask";
  std::string record;  // append one JSON line per run here
  std::string trace;   // write every report here
  // Trusted minisign public keys (files or folders of *.pub): the package must carry a
  // signature (PACKAGE.minisig) by one of them. Empty: no signature is required.
  std::vector<std::string> require_signature;
  std::string expect_sha256;  // the package's SHA-256 must be this (hex); empty: any
  bool json = false;
  bool quiet = false;
  bool verbose = false;
};

// qvupdate flash: loads the package and updates one device, every device (--all), or device
// after device (--continuous). Returns the exit status: 0 when every unit ended updated, 130
// after an abort by a second Ctrl-C or SIGTERM, 1 otherwise.
[[nodiscard]] int RunStation(const StationOptions& options);

}  // namespace qv::cli
