#include "sim/sim_device_model.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "sim/sim_frame.h"
#include "sim/sim_query_answer.h"

namespace qv::sim {
namespace {

constexpr std::size_t kDataPerReport = 64;
constexpr uint32_t kMaxInterfaces = 256;  // interface numbers are one byte
constexpr uint32_t kReadbackBytes = 256;

std::string Format(const char* format, auto... args) {
  char text[160];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

std::string Describe(const SimCommand& command) {
  return SimOpcodeName(command.opcode) + Format(" 0x%X 0x%X", static_cast<unsigned>(command.param1),
                                                static_cast<unsigned>(command.param2));
}

// True once the wrapping tick count has reached `when`.
bool Reached(uint32_t now, uint32_t when) {
  return static_cast<int32_t>(now - when) >= 0;
}

}  // namespace

SimDeviceModel::SimDeviceModel(Clock& clock, uint32_t number, const SimDeviceConfig& config)
    : clock_(clock), number_(number), config_(config) {}

std::string SimDeviceModel::name() const {
  return "dev" + std::to_string(number_);
}

std::string SimDeviceModel::path() const {
  std::lock_guard lock(mutex_);
  return InterfacePath(0);
}

std::vector<std::string> SimDeviceModel::InterfacePaths() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> paths;
  for (uint32_t k = 0; k < InterfaceCount(); ++k) paths.push_back(InterfacePath(k));
  return paths;
}

std::string SimDeviceModel::serial_number() const {
  std::lock_guard lock(mutex_);
  return SerialNow();
}

std::string SimDeviceModel::product_string() const {
  std::lock_guard lock(mutex_);
  return ProductNow();
}

std::vector<HidInterfaceInfo> SimDeviceModel::InterfaceInfos() const {
  std::lock_guard lock(mutex_);
  std::vector<HidInterfaceInfo> infos;
  for (uint32_t k = 0; k < InterfaceCount(); ++k) {
    const uint16_t usage_page =
        k == ProtocolInterface() ? kSimProtocolUsagePage : kSimOtherUsagePage;
    infos.push_back(HidInterfaceInfo{InterfacePath(k), config_.vendor_id, config_.product_id,
                                     SerialNow(), config_.usb_port, static_cast<int>(k), usage_page,
                                     ProductNow()});
  }
  return infos;
}

bool SimDeviceModel::SpeaksProtocol(uint32_t interface_number) const {
  std::lock_guard lock(mutex_);
  return interface_number == ProtocolInterface();
}

uint32_t SimDeviceModel::InterfaceCount() const {
  return std::clamp<uint32_t>(config_.interfaces, 1, kMaxInterfaces);
}

uint32_t SimDeviceModel::ProtocolInterface() const {
  return std::min(config_.protocol_interface, InterfaceCount() - 1);
}

std::string SimDeviceModel::InterfacePath(uint32_t interface_number) const {
  // The form of hidapi's libusb back end: bus-port, configuration 1, interface.
  if (!config_.usb_port.empty()) {
    return config_.usb_port + ":1." + std::to_string(interface_number);
  }
  std::string path = "sim:" + name();
  if (path_generation_ != 0) path += "." + std::to_string(path_generation_);
  if (interface_number != 0) path += "/" + std::to_string(interface_number);
  return path;
}

std::string SimDeviceModel::SerialNow() const {
  if (update_mode_ && config_.serial_after_reset) return *config_.serial_after_reset;
  return config_.serial_number.value_or("SIM" + std::to_string(number_));
}

std::string SimDeviceModel::ProductNow() const {
  if (update_mode_ && config_.product_after_reset) return *config_.product_after_reset;
  return kSimProductString;
}

SimDeviceConfig SimDeviceModel::config() const {
  std::lock_guard lock(mutex_);
  return config_;
}

void SimDeviceModel::SetConfig(const SimDeviceConfig& config) {
  std::lock_guard lock(mutex_);
  config_ = config;
}

std::vector<uint8_t> SimDeviceModel::FlashImage() const {
  std::lock_guard lock(mutex_);
  return flash_.bytes();
}

std::vector<std::string> SimDeviceModel::Faults() const {
  std::lock_guard lock(mutex_);
  return faults_;
}

std::vector<SimCommand> SimDeviceModel::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

uint32_t SimDeviceModel::ReportsReceived() const {
  std::lock_guard lock(mutex_);
  return received_;
}

uint32_t SimDeviceModel::ReportsSent() const {
  std::lock_guard lock(mutex_);
  return sent_;
}

std::optional<std::array<uint8_t, 256>> SimDeviceModel::LayoutBlock() const {
  std::lock_guard lock(mutex_);
  return layout_;
}

uint64_t SimDeviceModel::FlashGeneration() const {
  std::lock_guard lock(mutex_);
  return flash_generation_;
}

void SimDeviceModel::SetObserver(std::shared_ptr<SimDeviceObserver> observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

bool SimDeviceModel::Present() {
  std::lock_guard lock(mutex_);
  return PresentLocked();
}

uint64_t SimDeviceModel::Epoch() const {
  std::lock_guard lock(mutex_);
  return epoch_;
}

void SimDeviceModel::Unplug() {
  std::lock_guard lock(mutex_);
  if (unplugged_) return;
  unplugged_ = true;
  LeaveBus("unplugged");
}

void SimDeviceModel::RecordFault(const std::string& text) {
  std::lock_guard lock(mutex_);
  Fault(text);
}

void SimDeviceModel::ReplaceAtReset(std::shared_ptr<SimDeviceModel> successor) {
  std::lock_guard lock(mutex_);
  successor_ = std::move(successor);
}

std::shared_ptr<SimDeviceModel> SimDeviceModel::Successor() const {
  std::lock_guard lock(mutex_);
  return replaced_ ? successor_ : nullptr;
}

void SimDeviceModel::AwaitPlace() {
  std::lock_guard lock(mutex_);
  absent_ = true;
  awaiting_place_ = true;
}

void SimDeviceModel::TakePlaceAt(uint32_t tick, const std::string& predecessor) {
  std::lock_guard lock(mutex_);
  awaiting_place_ = false;
  back_at_ = tick;
  arrival_event_ = "on the bus in the place of " + predecessor;
  Event(Format("takes the place of %s in %u ms", predecessor.c_str(),
               static_cast<unsigned>(tick - clock_.TickMs())));
}

bool SimDeviceModel::PresentLocked() {
  if (unplugged_ || vanished_ || replaced_) return false;
  if (!absent_) return true;
  if (awaiting_place_) return false;
  // Away after its own reset (not a successor before its first arrival): it may never return.
  const bool stays_away = update_mode_ && config_.never_return_after_reset;
  if (stays_away || !Reached(clock_.TickMs(), back_at_)) return false;
  absent_ = false;
  Event(arrival_event_);
  arrival_event_ = "back on the bus";
  return true;
}

bool SimDeviceModel::AliveFor(uint64_t epoch) {
  return PresentLocked() && epoch == epoch_;
}

bool SimDeviceModel::PassesInjection(const char* what) {
  ++attempts_;
  if (config_.vanish_report != 0 && attempts_ == config_.vanish_report) {
    vanished_ = true;
    LeaveBus(Format("vanished at report %u (%s)", static_cast<unsigned>(attempts_), what));
    return false;
  }
  if (config_.fail_report != 0 && attempts_ == config_.fail_report) {
    Event(Format("report %u (%s) failed, not moved", static_cast<unsigned>(attempts_), what));
    return false;
  }
  return true;
}

void SimDeviceModel::LeaveBus(const std::string& why) {
  ++epoch_;
  phase_ = Phase::kIdle;
  write_fault_.reset();
  input_.clear();
  Event("left the bus: " + why);
}

void SimDeviceModel::Event(const std::string& text) {
  if (observer_) observer_->OnEvent(text);
}

void SimDeviceModel::Fault(const std::string& text) {
  faults_.push_back(text);
  Event("FAULT " + text);
}

int SimDeviceModel::HostWrite(const Report& report, uint32_t interface_number, uint64_t epoch,
                              uint32_t& latency_ms) {
  std::lock_guard lock(mutex_);
  latency_ms = 0;
  if (!AliveFor(epoch)) return -1;
  if (interface_number != ProtocolInterface()) {
    // As an interface without output reports: the write fails; the host chose the wrong
    // interface, which is no fault of the protocol.
    Event(Format("write on interface %u refused: it has no output reports",
                 static_cast<unsigned>(interface_number)));
    return -1;
  }
  if (!PassesInjection("to device")) return -1;
  ++received_;
  if (observer_) {
    observer_->OnReport(SimDeviceObserver::Direction::kToDevice, report.data(), report.size());
  }
  Receive(report);
  latency_ms = config_.report_latency_ms;
  return static_cast<int>(report.size());
}

SimDeviceModel::ReadStep SimDeviceModel::HostRead(Report& report, uint32_t interface_number,
                                                  uint64_t epoch) {
  std::lock_guard lock(mutex_);
  ReadStep step;
  if (!AliveFor(epoch)) {
    step.status = ReadStatus::kGone;
    return step;
  }
  // Input reports go out on the protocol interface only; the others stay silent.
  if (interface_number != ProtocolInterface() || config_.stop_answering_reads || input_.empty()) {
    return step;
  }
  const uint32_t now = clock_.TickMs();
  if (!Reached(now, input_.front().ready_at)) {
    step.wait_ms = input_.front().ready_at - now;
    return step;
  }
  if (!PassesInjection("to host")) {
    step.status = vanished_ ? ReadStatus::kGone : ReadStatus::kFailed;
    return step;
  }
  const std::vector<uint8_t>& payload = input_.front().payload;
  report[0] = 0;
  std::copy(payload.begin(), payload.end(), report.begin() + 1);
  ++sent_;
  if (observer_) {
    observer_->OnReport(SimDeviceObserver::Direction::kToHost, report.data(), payload.size() + 1);
  }
  step.status = ReadStatus::kMoved;
  step.moved = static_cast<int>(payload.size() + 1);
  step.latency_ms = config_.report_latency_ms;
  input_.pop_front();
  return step;
}

void SimDeviceModel::Receive(const Report& report) {
  SimCommand command;
  if (phase_ == Phase::kWriteData || phase_ == Phase::kLayoutData) {
    // Only a fully valid command report ends a data phase early; anything else is data.
    if (!SimLooksLikeCommand(report) || !SimDecodeCommand(report, command).empty()) {
      ReceiveData(report);
      return;
    }
    Fault(Format("%s command while %llu data report(s) still expected",
                 SimOpcodeName(command.opcode).c_str(),
                 static_cast<unsigned long long>(data_reports_left_)));
    EndDataPhase();
    Execute(command);
    return;
  }
  const std::string fault = SimDecodeCommand(report, command);
  if (phase_ == Phase::kAwaitReadback && (!fault.empty() || command.opcode != kOpReadback)) {
    Fault("ERASE not followed by READBACK");
    phase_ = Phase::kIdle;
  }
  if (!fault.empty()) {
    Fault("rejected report: " + fault);
    return;
  }
  if (!input_.empty()) {
    Event(Format("dropped %u unread input report(s)", static_cast<unsigned>(input_.size())));
    input_.clear();
  }
  Execute(command);
}

void SimDeviceModel::ReceiveData(const Report& report) {
  if (report[0] != 0) Fault(Format("data report number 0x%X (expected 0)", report[0]));
  if (phase_ == Phase::kWriteData) {
    ReceiveWriteData(report.data() + 1);
  } else {
    ReceiveLayoutData(report.data() + 1);
  }
}

void SimDeviceModel::ReceiveWriteData(const uint8_t* data) {
  if (write_in_window_) {
    const SimFlash::ProgramOutcome outcome =
        flash_.Program(static_cast<uint32_t>(write_offset_), data, kDataPerReport);
    ++flash_generation_;
    if (outcome.unerased != 0) {
      const bool first = !write_fault_;
      if (first) {
        write_fault_ = faults_.size();
        faults_.emplace_back();
      }
      write_unerased_ += outcome.unerased;
      faults_[*write_fault_] = Format("WRITE programmed %llu byte(s) over unerased flash",
                                      static_cast<unsigned long long>(write_unerased_));
      if (first) {
        Event(Format("FAULT WRITE programs over unerased flash at 0x%08X",
                     static_cast<unsigned>(0x40000000u + outcome.first_unerased)));
      }
    }
  }
  write_offset_ += kDataPerReport;
  if (--data_reports_left_ == 0) EndDataPhase();
}

void SimDeviceModel::ReceiveLayoutData(const uint8_t* data) {
  std::copy_n(data, kDataPerReport, layout_buffer_.begin() + layout_received_);
  layout_received_ += kDataPerReport;
  if (layout_received_ < layout_buffer_.size()) return;
  for (std::size_t i = 6; i < layout_buffer_.size(); ++i) {
    if (layout_buffer_[i] != 0xFF) {
      Fault(Format("layout block byte %u is 0x%X (expected 0xFF)", static_cast<unsigned>(i),
                   layout_buffer_[i]));
      break;
    }
  }
  layout_ = layout_buffer_;
  Event(Format("layout program=0x%X sound=0x%X map=0x%X", SimLe16(&layout_buffer_[0]),
               SimLe16(&layout_buffer_[2]), SimLe16(&layout_buffer_[4])));
  EndDataPhase();
}

void SimDeviceModel::EndDataPhase() {
  phase_ = Phase::kIdle;
  data_reports_left_ = 0;
  write_fault_.reset();
  write_unerased_ = 0;
}

void SimDeviceModel::Execute(const SimCommand& command) {
  commands_.push_back(command);
  if (observer_) observer_->OnCommand(command);
  Event(Describe(command));
  switch (command.opcode) {
    case kOpErase:
      StartErase(command);
      break;
    case kOpReadback:
      AnswerReadback();
      break;
    case kOpWrite:
      StartWrite(command);
      break;
    case kOpReset:
      Reset();
      break;
    case kOpSetLayout:
      phase_ = Phase::kLayoutData;
      layout_received_ = 0;
      data_reports_left_ = layout_buffer_.size() / kDataPerReport;
      break;
    case kOpQuery: {
      // One input report: a short report carries only the answer's first bytes.
      const std::array<uint8_t, 64> answer = SimQueryAnswer(config_);
      Queue(answer.data(), InputPayload(), 0);
      break;
    }
    default:  // OVER: the device only notes it
      break;
  }
}

void SimDeviceModel::StartErase(const SimCommand& command) {
  erase_start_ = command.param1;
  erase_count_ = command.param2;
  const std::string fault = flash_.EraseSectors(erase_start_, erase_count_);
  erase_done_ = fault.empty();
  if (erase_done_) {
    ++flash_generation_;
  } else {
    Fault(fault);
  }
  phase_ = Phase::kAwaitReadback;
}

void SimDeviceModel::AnswerReadback() {
  std::array<uint8_t, kReadbackBytes> answer;
  answer.fill(0xFF);
  uint64_t delay = 0;
  if (phase_ != Phase::kAwaitReadback) {
    Fault("READBACK without a preceding ERASE");
  } else if (erase_done_) {
    // The erased range's first bytes, once the erase time of all its sectors has passed.
    const uint64_t offset = static_cast<uint64_t>(erase_start_) * kSimSectorSize;
    if (SimFlash::InWindow(offset, answer.size())) {
      std::copy_n(flash_.bytes().begin() + static_cast<std::ptrdiff_t>(offset), answer.size(),
                  answer.begin());
    }
    delay = static_cast<uint64_t>(erase_count_) * config_.erase_ms_per_sector;
  }
  phase_ = Phase::kIdle;
  Queue(answer.data(), answer.size(), static_cast<uint32_t>(std::min<uint64_t>(delay, 1u << 30)));
}

void SimDeviceModel::StartWrite(const SimCommand& command) {
  write_offset_ = static_cast<uint64_t>(command.param1) * kSimPageSize;
  write_in_window_ =
      SimFlash::InWindow(write_offset_, static_cast<uint64_t>(command.param2) * kSimPageSize);
  if (!write_in_window_) {
    Fault(Format("WRITE of pages %u..+%u outside the flash window",
                 static_cast<unsigned>(command.param1), static_cast<unsigned>(command.param2)));
  }
  // The data is still taken (and dropped when out of the window) so that it is not mistaken
  // for stray reports.
  data_reports_left_ = static_cast<uint64_t>(command.param2) * (kSimPageSize / kDataPerReport);
  write_fault_.reset();
  write_unerased_ = 0;
  phase_ = data_reports_left_ != 0 ? Phase::kWriteData : Phase::kIdle;
}

void SimDeviceModel::Reset() {
  update_mode_ = true;
  if (successor_) {
    // Swapped while away: this device leaves for good, the successor comes when it would have.
    absent_ = true;
    replaced_ = true;
    back_at_ = clock_.TickMs() + config_.reset_absent_ms;
    successor_->TakePlaceAt(back_at_, name());
    LeaveBus(Format("reset, replaced by %s", successor_->name().c_str()));
    return;
  }
  if (config_.never_return_after_reset) {
    absent_ = true;
    back_at_ = clock_.TickMs();
    LeaveBus("reset, never to return");
    return;
  }
  absent_ = true;
  back_at_ = clock_.TickMs() + config_.reset_absent_ms;
  if (config_.new_path_after_reset) ++path_generation_;
  LeaveBus(Format("reset, back in %u ms", static_cast<unsigned>(config_.reset_absent_ms)));
}

std::size_t SimDeviceModel::InputPayload() const {
  // At least one byte, so that a reader waiting for a byte count always gets nearer to it.
  return std::clamp<std::size_t>(config_.input_payload, 1, kReportPayload);
}

void SimDeviceModel::Queue(const uint8_t* data, std::size_t size, uint32_t delay_ms) {
  const std::size_t chunk = InputPayload();
  const uint32_t ready_at = clock_.TickMs() + delay_ms;
  for (std::size_t at = 0; at < size; at += chunk) {
    const std::size_t n = std::min(chunk, size - at);
    input_.push_back(Pending{std::vector<uint8_t>(data + at, data + at + n), ready_at});
  }
}

}  // namespace qv::sim
