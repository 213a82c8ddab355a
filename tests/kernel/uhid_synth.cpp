#include "uhid_synth.h"

#include <fcntl.h>
#include <linux/input.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace pelmora::test {
namespace {

constexpr int kServeSliceMs = 1;
constexpr std::uint32_t kNodePollMs = 10;
constexpr std::uint16_t kReplyError = EIO;  // the kernel turns any non-zero answer into EIO
constexpr const char* kDeviceName = "Pelmora uhid synthesizer";

void writeEvent(int fd, const uhid_event& event) {
  if (::write(fd, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) {
    throw std::runtime_error(std::string("uhid write: ") + std::strerror(errno));
  }
}

void copyText(std::uint8_t* field, std::size_t size, const std::string& text) {
  std::memcpy(field, text.data(), std::min(size - 1, text.size()));
}

}  // namespace

std::uint64_t steadyMs() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

UhidSynth::UhidSynth(const UhidIdentity& identity, const sim::DeviceConfig& config)
    : identity_(identity), device_(config) {
  fd_ = ::open("/dev/uhid", O_RDWR | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) throw std::runtime_error(std::string("/dev/uhid: ") + std::strerror(errno));
  {
    std::lock_guard lock(mutex_);
    create();
  }
  thread_ = std::thread([this] { serve(); });
}

UhidSynth::~UhidSynth() {
  quit_ = true;
  thread_.join();
  // Closing /dev/uhid destroys the kernel device as well.
  ::close(fd_);
}

UhidCounters UhidSynth::counters() {
  std::lock_guard lock(mutex_);
  return counters_;
}

void UhidSynth::create() {
  uhid_event event{};
  event.type = UHID_CREATE2;
  uhid_create2_req& req = event.u.create2;
  copyText(req.name, sizeof req.name, kDeviceName);
  copyText(req.phys, sizeof req.phys, "pelmora-guest");
  copyText(req.uniq, sizeof req.uniq, identity_.serial);
  const std::vector<std::uint8_t> descriptor = makeDescriptor(identity_.shape);
  req.rd_size = static_cast<std::uint16_t>(descriptor.size());
  std::memcpy(req.rd_data, descriptor.data(), descriptor.size());
  req.bus = BUS_USB;
  req.vendor = identity_.vendor;
  req.product = identity_.product;
  writeEvent(fd_, event);
  created_ = true;
  device_.plugIn(steadyMs());
}

void UhidSynth::unplug() {
  std::lock_guard lock(mutex_);
  if (!created_) return;
  uhid_event event{};
  event.type = UHID_DESTROY;
  writeEvent(fd_, event);
  created_ = false;
  replies_.clear();
  device_.unplug();
}

void UhidSynth::replug() {
  std::lock_guard lock(mutex_);
  if (!created_) create();
}

std::string UhidSynth::waitForNode(std::uint32_t timeoutMs) const {
  namespace fs = std::filesystem;
  const std::string wanted = "HID_UNIQ=" + identity_.serial;
  const std::uint64_t deadline = steadyMs() + timeoutMs;
  do {
    std::error_code ec;
    for (fs::directory_iterator it("/sys/class/hidraw", ec), end; !ec && it != end; it.increment(ec)) {
      std::ifstream uevent(it->path() / "device" / "uevent");
      std::string line;
      while (std::getline(uevent, line)) {
        const std::string node = "/dev/" + it->path().filename().string();
        if (line == wanted && fs::exists(node)) return node;
      }
    }
    usleep(kNodePollMs * 1000);
  } while (steadyMs() < deadline);
  return {};
}

void UhidSynth::injectInputs(const std::vector<Report>& reports) {
  std::lock_guard lock(mutex_);
  for (const Report& report : reports) sendInput(report);
}

void UhidSynth::serve() {
  while (!quit_) {
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, kServeSliceMs) > 0 && (ready.revents & POLLIN) != 0) {
      std::lock_guard lock(mutex_);
      handleEvent();
    }
    std::lock_guard lock(mutex_);
    advance();
  }
}

void UhidSynth::handleEvent() {
  uhid_event event{};
  if (::read(fd_, &event, sizeof event) <= 0) return;
  switch (event.type) {
    case UHID_OPEN:
      ++counters_.opens;
      device_.hold();
      break;
    case UHID_CLOSE:
      ++counters_.closes;
      device_.release();
      break;
    case UHID_SET_REPORT:
      handleSetReport(event.u.set_report.id, event.u.set_report.data, event.u.set_report.size);
      break;
    case UHID_GET_REPORT: {
      uhid_event reply{};
      reply.type = UHID_GET_REPORT_REPLY;
      reply.u.get_report_reply.id = event.u.get_report.id;
      reply.u.get_report_reply.err = kReplyError;
      writeEvent(fd_, reply);
      break;
    }
    default:  // START, STOP, OUTPUT: nothing to do
      break;
  }
}

void UhidSynth::handleSetReport(std::uint32_t id, const std::uint8_t* data, std::size_t size) {
  const std::uint64_t now = steadyMs();
  if (counters_.setReports++ == 0) counters_.firstSetReportMs = now;
  sim::LinkFaults& link = device_.link;
  if (link.featureStuck) return;  // never answered: the kernel times the request out
  PendingReply reply{now + link.featureDelayMs, id, 0, {}, size == kReportLength};
  if (!reply.deliver || link.featureRefusals.fire()) {
    reply.error = kReplyError;
    reply.deliver = false;
  } else {
    std::memcpy(reply.report.data(), data, kReportLength);
  }
  replies_.push_back(reply);
}

void UhidSynth::sendReply(std::uint32_t id, std::uint16_t error) {
  uhid_event event{};
  event.type = UHID_SET_REPORT_REPLY;
  event.u.set_report_reply.id = id;
  event.u.set_report_reply.err = error;
  writeEvent(fd_, event);
}

void UhidSynth::sendInput(const Report& report) {
  if (!created_) return;
  uhid_event event{};
  event.type = UHID_INPUT2;
  event.u.input2.size = static_cast<std::uint16_t>(report.size());
  std::memcpy(event.u.input2.data, report.data(), report.size());
  writeEvent(fd_, event);
  ++counters_.inputs;
}

// Lets the device live up to now: due feature replies first (the command
// reaches the device when its transfer completes), then its reports.
void UhidSynth::advance() {
  if (!created_) return;
  const std::uint64_t now = steadyMs();
  while (!replies_.empty() && replies_.front().dueMs <= now) {
    const PendingReply reply = replies_.front();
    replies_.pop_front();
    device_.advanceTo(now);
    sendReply(reply.id, reply.error);
    if (reply.deliver) device_.receiveFeature(reply.report);
  }
  device_.advanceTo(now);
  Report report{};
  while (device_.popInput(report)) sendInput(report);
}

}  // namespace pelmora::test
