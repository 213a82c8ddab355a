#include "gadget_synth.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "uhid_synth.h"

namespace pelmora::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kGadgetRoot = "/sys/kernel/config/usb_gadget/pelmora";
constexpr const char* kFunction = "functions/hid.synth";
constexpr const char* kConfig = "configs/c.1";
constexpr std::uint32_t kNodeWaitMs = 3000;
constexpr int kServeSliceMs = 1;

void writeAttribute(const std::string& path, const std::string& value) {
  std::ofstream out(path, std::ios::binary);
  out << value;
  out.close();
  if (!out) throw std::runtime_error("gadget: cannot write " + path);
}

void makeDir(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
    throw std::runtime_error("gadget: mkdir " + path + ": " + std::strerror(errno));
  }
}

std::string firstController() {
  std::error_code ec;
  for (fs::directory_iterator it("/sys/class/udc", ec), end; !ec && it != end; it.increment(ec)) {
    return it->path().filename().string();
  }
  throw std::runtime_error("gadget: no USB device controller (dummy_hcd)");
}

}  // namespace

GadgetSynth::GadgetSynth(const std::string& serial, const sim::DeviceConfig& config)
    : serial_(serial), root_(kGadgetRoot), device_(config) {
  bind();
  {
    std::lock_guard lock(mutex_);
    device_.plugIn(steadyMs());
    // The gadget cannot tell when the host starts reading; usbhid only
    // polls the endpoint while a reader has the node open.
    device_.hold();
  }
  thread_ = std::thread([this] { serve(); });
}

GadgetSynth::~GadgetSynth() {
  quit_ = true;
  thread_.join();
  ::close(fd_);
  unbind();
}

std::uint64_t GadgetSynth::featureReports() {
  std::lock_guard lock(mutex_);
  return featureReports_;
}

void GadgetSynth::bind() {
  makeDir(root_);
  writeAttribute(root_ + "/idVendor", "0x39d0");
  writeAttribute(root_ + "/idProduct", "0x0101");
  writeAttribute(root_ + "/bcdUSB", "0x0200");
  makeDir(root_ + "/strings/0x409");
  writeAttribute(root_ + "/strings/0x409/serialnumber", serial_);
  writeAttribute(root_ + "/strings/0x409/product", "Pelmora gadget synthesizer");
  const std::string function = root_ + "/" + kFunction;
  makeDir(function);
  writeAttribute(function + "/protocol", "0");
  writeAttribute(function + "/subclass", "0");
  writeAttribute(function + "/report_length", std::to_string(kReportLength));
  writeAttribute(function + "/no_out_endpoint", "1");
  const std::vector<std::uint8_t> descriptor = makeDescriptor();
  writeAttribute(function + "/report_desc", std::string(descriptor.begin(), descriptor.end()));
  makeDir(root_ + "/" + kConfig);
  const std::string link = root_ + "/" + kConfig + "/hid.synth";
  if (::symlink(function.c_str(), link.c_str()) != 0 && errno != EEXIST) {
    throw std::runtime_error("gadget: cannot link the function");
  }
  writeAttribute(root_ + "/UDC", firstController());

  const std::uint64_t deadline = steadyMs() + kNodeWaitMs;
  while ((fd_ = ::open("/dev/hidg0", O_RDWR | O_NONBLOCK | O_CLOEXEC)) < 0 && steadyMs() < deadline) {
    usleep(10000);
  }
  if (fd_ < 0) throw std::runtime_error("gadget: /dev/hidg0 did not appear");
}

void GadgetSynth::unplug() { std::ofstream(root_ + "/UDC") << "\n"; }

void GadgetSynth::unbind() {
  unplug();
  ::unlink((root_ + "/" + kConfig + "/hid.synth").c_str());
  ::rmdir((root_ + "/" + kConfig).c_str());
  ::rmdir((root_ + "/" + kFunction).c_str());
  ::rmdir((root_ + "/strings/0x409").c_str());
  ::rmdir(root_.c_str());
}

void GadgetSynth::serve() {
  while (!quit_) {
    pollfd ready{fd_, POLLIN, 0};
    ::poll(&ready, 1, kServeSliceMs);
    std::lock_guard lock(mutex_);
    Report report{};
    // SET_REPORT data, the report ID in its first byte.
    while (::read(fd_, report.data(), report.size()) == static_cast<ssize_t>(report.size())) {
      ++featureReports_;
      device_.advanceTo(steadyMs());
      device_.receiveFeature(report);
    }
    device_.advanceTo(steadyMs());
    while (device_.popInput(report)) outgoing_.push_back(report);
    // One report per interrupt transfer; the node refuses while the last
    // one has not gone out yet.
    while (!outgoing_.empty() && ::write(fd_, outgoing_.front().data(), kReportLength) ==
                                     static_cast<ssize_t>(kReportLength)) {
      outgoing_.pop_front();
    }
  }
}

}  // namespace pelmora::test
