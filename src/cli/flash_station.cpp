#include "cli/flash_station.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

#include "cli/cli_dialogs.h"
#include "cli/station_view.h"
#include "cli/terminal_questions.h"
#include "package/package_load.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/hex_text.h"
#include "platform/host.h"
#include "platform/named_mutex.h"
#include "platform/random.h"
#include "platform/system_reason.h"
#include "platform/utf8_path.h"
#include "program_version.h"
#include "station/hashing_package_source.h"
#include "station/record_file.h"
#include "station/station.h"
#include "station/station_texts.h"
#include "station/trace_file.h"
#include "signature/package_approval.h"
#include "signature/signature_files.h"

namespace qv::cli {
namespace {

constexpr const char* kOutputLost =
    "The output was lost (nobody read it); the devices finished and the record is kept";

// Whether what the station wrote to stdout reached it; the reason when it did not.
bool OutputKept(std::string& reason) {
  errno = 0;
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
  reason = errno != 0 ? SystemReason(errno) : "write error";
  return false;
}

// Two hex texts naming the same bytes, whatever the letters' case.
bool SameHex(const std::string& a, const std::string& b) {
  if (a.empty() || a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

AnswerPolicy PolicyFrom(const std::string& name) {
  if (name == "yes") return AnswerPolicy::kYes;
  if (name == "no") return AnswerPolicy::kNo;
  return AnswerPolicy::kAsk;
}

// The loader's messages, with the system's reason on a line of their own.
class LoadDialogs final : public Dialogs {
 public:
  explicit LoadDialogs(StationView& display) : display_(display) {}
  void ShowMessage(std::string_view text) override { display_.Message(text, ""); }
  bool AskYesNo(std::string_view) override { return false; }  // loading asks nothing

 private:
  StationView& display_;
};

// One `qvupdate flash`: the package, the outputs and the terminal around a station.
class CommandLineStation {
 public:
  explicit CommandLineStation(const StationOptions& options)
      : options_(options),
        view_(StationView::Make(options.json ? DisplayMode::kJson
                                             : (TerminalTakesCursorControl(stdout)
                                                    ? DisplayMode::kLive
                                                    : DisplayMode::kPlain),
                                options.quiet, options.verbose, options.all)),
        display_(*view_) {}

  int Run() {
    if (!LoadThePackage() || !OpenOutputs()) return 1;
    CatchStopRequests();
    display_.KeepUnitLines(options_.continuous || options_.all);
    station::StationEnvironment env{.bus = SystemHidBus(),
                                    .mutexes = SystemNamedMutexes(),
                                    .clock = SystemClock(),
                                    .stops = StopRequestCount(),
                                    .trace = trace_,
                                    .record = record_.is_open() ? &record_ : nullptr,
                                    .record_template = record_template_};
    const station::StationConfig config{.all = options_.all,
                                        .continuous = options_.continuous,
                                        .count = options_.count,
                                        .device = options_.device,
                                        .wait = options_.wait};
    station::Station station(config, env, store_, display_);
    TerminalQuestions questions(
        PolicyFrom(options_.reinstall), display_,
        [&station](uint64_t id, bool yes) { return station.Answer(id, yes); },
        [&station](uint64_t id) { return station.QuestionOpen(id); });
    display_.SetQuestionHandler(
        [&questions](const station::StationQuestion& question) { questions.Take(question); });
    int status = station.Run();
    display_.SetQuestionHandler(nullptr);
    if (trace_) {
      if (const uint64_t lost = trace_->Close(); lost != 0) {
        display_.Message(station::text::TraceFellBehind(lost), options_.trace);
      }
    }
    store_.Release();
    std::string reason;
    if (!OutputKept(reason)) {
      // The devices and the record are whole; only what was shown is not.
      display_.Message(kOutputLost, reason);
      if (status == station::kStationAllUpdated) status = station::kStationNotAllUpdated;
    }
    return status;
  }

 private:
  bool LoadThePackage() {
    const std::filesystem::path package = PathFromUtf8(options_.package);
    LoadDialogs display_dialogs(display_);
    RepeatedDetailFilter dialogs(display_dialogs);
    RuntimeRandom random;
    FilePackageSource file(package);
    station::HashingPackageSource hashing(file);
    // The signature and the SHA-256 are checked on the bytes the loader read, the bytes every
    // unit is written with, not on the file read a second time. The trusted keys and the
    // signature file are read first: a station told to require a signature never loads a
    // package that has none.
    std::unique_ptr<signature::PackageApproval> approval;
    if (!options_.require_signature.empty()) {
      Result<std::vector<signature::PublicKey>> trusted =
          signature::ReadTrustedKeys(options_.require_signature);
      if (!trusted) return Refuse(trusted.failure());
      auto begun = signature::PackageApproval::Begin(options_.package, std::move(*trusted), hashing);
      if (!begun) return Refuse(begun.failure());
      approval = std::move(*begun);
    }
    PackageSource& source = approval ? approval->source() : hashing;
    if (!LoadPackageFrom(store_, source, package.parent_path() / kReadmeFileName, dialogs, random,
                         SystemClock())) {
      return false;
    }
    station::UnitRecord& r = record_template_;
    if (approval) {
      const Result<signature::VerifiedSignature> verified = approval->Finish();
      if (!verified) return Refuse(verified.failure());
      r.package_signature_key = verified->key_id;
    }
    const std::string sha256 = hashing.HexDigest();
    if (!options_.expect_sha256.empty() && !SameHex(sha256, options_.expect_sha256)) {
      return Refuse(Failure{station::text::kUnexpectedSha256,
                            "expected " + options_.expect_sha256 + ", the package has " + sha256});
    }
    r.session = HostName() + "-" + std::to_string(ProcessId()) + "-" + station::IsoUtc(SystemEpochMs());
    r.station = HostName();
    r.updater = kProgramVersion;
    r.package_file = Utf8FromPath(package.filename());
    // The bytes this session loaded and flashes, whatever the file holds by the time a unit
    // is recorded.
    r.package_sha256 = sha256;
    r.package_version = HexBytes(std::span(store_.version_record).first(kVersionRecordSize));
    return true;
  }

  // A package refused before any device is touched: said, and the store let go.
  bool Refuse(const Failure& failure) {
    display_.Message(failure.message, failure.detail);
    store_.Release();
    return false;
  }

  // Both files are checked before the first device is touched.
  bool OpenOutputs() {
    if (!options_.record.empty()) {
      if (const Result<> opened = record_.Open(options_.record); !opened) {
        display_.Message(station::text::kCannotOpenRecord,
                         options_.record + ": " + opened.failure().message);
        return false;
      }
    }
    if (!options_.trace.empty()) {
      std::optional<station::FileIdentity> record;
      if (record_.is_open()) record = record_.identity();
      const Result<std::FILE*> file = station::OpenTraceFile(options_.trace, record);
      if (!file) {
        display_.Message(station::text::kCannotOpenTrace,
                         options_.trace + ": " + file.failure().message);
        return false;
      }
      // The trace is a diagnostic: a failure to write it is told once and the devices go on.
      trace_ = std::make_shared<ReportTraceSink>(
          *file, [this, path = options_.trace](const std::string& reason) {
            display_.Message("Cannot write the trace file; the devices go on without it",
                             path + ": " + reason);
          });
    }
    return true;
  }

  const StationOptions& options_;
  std::unique_ptr<StationView> view_;
  StationView& display_;
  PackageStore store_;
  station::RecordFile record_;
  std::shared_ptr<ReportTraceSink> trace_;
  station::UnitRecord record_template_;
};

}  // namespace

int RunStation(const StationOptions& options) {
  CommandLineStation station(options);
  return station.Run();
}

}  // namespace qv::cli
