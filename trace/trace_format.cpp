#include "trace/trace_format.h"

#include <algorithm>

#include "core/protocol/byte_order.h"
#include "trace/trace_blocks.h"

namespace pelmora::trace {
namespace {

constexpr std::uint8_t kCallMask = 0x1F;
constexpr std::uint8_t kOkBit = 0x80;
constexpr std::uint8_t kReceivedBit = 0x40;
constexpr unsigned kVarintBits = 7;
constexpr std::uint8_t kVarintMore = 0x80;
constexpr std::size_t kMaxVarintBytes = 10;

void putVarint(std::vector<std::uint8_t>& out, std::uint64_t v) {
  while (v >= kVarintMore) {
    out.push_back(static_cast<std::uint8_t>(v | kVarintMore));
    v >>= kVarintBits;
  }
  out.push_back(static_cast<std::uint8_t>(v));
}

std::size_t putVarint(std::uint8_t* out, std::uint64_t v) {
  std::size_t n = 0;
  while (v >= kVarintMore) {
    out[n++] = static_cast<std::uint8_t>(v | kVarintMore);
    v >>= kVarintBits;
  }
  out[n++] = static_cast<std::uint8_t>(v);
  return n;
}

void putText(std::vector<std::uint8_t>& out, const std::u16string& text) {
  const std::size_t length = std::min(text.size(), kTraceMaxText);
  putVarint(out, length);
  for (std::size_t i = 0; i < length; ++i) {
    out.push_back(static_cast<std::uint8_t>(text[i]));
    out.push_back(static_cast<std::uint8_t>(text[i] >> 8));
  }
}

void putNarrow(std::vector<std::uint8_t>& out, const std::string& text) {
  const std::size_t length = std::min(text.size(), kTraceMaxText);
  putVarint(out, length);
  out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
}

bool hasReport(const TraceRecord& r) {
  return r.call == TraceCall::sendFeature || (r.call == TraceCall::readReport && r.received);
}

// The calls whose only payload is a number.
bool hasNumber(TraceCall call) {
  switch (call) {
    case TraceCall::now:
    case TraceCall::wait:
    case TraceCall::close:
    case TraceCall::errorCode:
    case TraceCall::lost:
      return true;
    default:
      return false;
  }
}

// The calls with a boolean result of their own.
bool hasResult(TraceCall call) {
  switch (call) {
    case TraceCall::enumerate:
    case TraceCall::now:
    case TraceCall::errorCode:
    case TraceCall::lost:
    case TraceCall::limit:
      return false;
    default:
      return true;
  }
}

}  // namespace

const char* callName(TraceCall call) {
  switch (call) {
    case TraceCall::enumerate: return "enumerate";
    case TraceCall::createTransport: return "createTransport";
    case TraceCall::now: return "now";
    case TraceCall::wait: return "wait";
    case TraceCall::random: return "random";
    case TraceCall::pollResume: return "pollResume";
    case TraceCall::open: return "open";
    case TraceCall::readReport: return "readReport";
    case TraceCall::sendFeature: return "sendFeature";
    case TraceCall::poll: return "poll";
    case TraceCall::close: return "close";
    case TraceCall::errorCode: return "errorCode";
    case TraceCall::isReading: return "isReading";
    case TraceCall::isFeaturePending: return "isFeaturePending";
    case TraceCall::lost: return "lost";
    case TraceCall::limit: return "limit";
  }
  return "?";
}

const char* systemName(HostSystem system) {
  switch (system) {
    case HostSystem::linuxOs: return "Linux";
    case HostSystem::windowsOs: return "Windows";
    case HostSystem::macOs: return "macOS";
  }
  return "?";
}

std::vector<std::uint8_t> encodeHeader(const TraceHeader& header) {
  const std::size_t textLength = std::min(header.programVersion.size(), kTraceMaxVersionText);
  std::vector<std::uint8_t> out(kTraceFixedHeaderLength + textLength + kTraceHeaderCheckLength);
  std::copy_n(kTraceMagic, kTraceMagicLength, out.begin());
  writeU32(&out[8], kTraceVersion);
  writeU32(&out[12], static_cast<std::uint32_t>(kReportLength));
  out[16] = static_cast<std::uint8_t>(header.system);
  out[17] = static_cast<std::uint8_t>(textLength);
  writeU32(&out[18], header.limitMiB);
  std::copy_n(header.programVersion.begin(), textLength, out.begin() + kTraceFixedHeaderLength);
  const std::size_t checked = out.size() - kTraceHeaderCheckLength;
  writeU32(&out[checked], crc32(std::span(out).first(checked)));
  return out;
}

std::size_t TraceEncoder::encodeFixed(const TraceRecord& r, std::array<std::uint8_t, kMaxFixedRecord>& out) {
  out[0] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(r.call) | (r.ok ? kOkBit : 0) |
                                     (r.received ? kReceivedBit : 0));
  std::size_t n = 1;
  if (r.call == TraceCall::now) {
    n += putVarint(&out[n], r.value - lastNow_);
    lastNow_ = r.value;
  } else if (hasNumber(r.call)) {
    n += putVarint(&out[n], r.value);
  } else if (r.call == TraceCall::random && r.ok) {
    writeU32(&out[n], static_cast<std::uint32_t>(r.value));
    n += 4;
  }
  if (hasReport(r)) {
    std::copy(r.report.begin(), r.report.end(), out.begin() + static_cast<std::ptrdiff_t>(n));
    n += kReportLength;
  }
  return n;
}

void TraceEncoder::encode(const TraceRecord& r, std::vector<std::uint8_t>& out) {
  if (r.call == TraceCall::enumerate) {
    out.push_back(static_cast<std::uint8_t>(r.call));
    const std::size_t count = std::min(r.devices.size(), kTraceMaxDevices);
    putVarint(out, count);
    for (std::size_t i = 0; i < count; ++i) {
      putText(out, r.devices[i].path);
      putText(out, r.devices[i].serial);
      putNarrow(out, r.devices[i].error);
    }
    return;
  }
  if (r.call == TraceCall::open) {
    out.push_back(static_cast<std::uint8_t>(static_cast<std::uint8_t>(r.call) | (r.ok ? kOkBit : 0)));
    putText(out, r.path);
    return;
  }
  std::array<std::uint8_t, kMaxFixedRecord> fixed{};
  const std::size_t n = encodeFixed(r, fixed);
  out.insert(out.end(), fixed.begin(), fixed.begin() + static_cast<std::ptrdiff_t>(n));
}

DecodeStatus TraceDecoder::fail(const std::string& why) {
  error_ = why;
  return DecodeStatus::corrupt;
}

bool TraceDecoder::readVarint(std::uint64_t& value) {
  value = 0;
  for (std::size_t i = 0; i < kMaxVarintBytes; ++i) {
    if (position_ >= bytes_.size()) {
      torn_ = true;
      return false;
    }
    const std::uint8_t byte = bytes_[position_++];
    if (i == kMaxVarintBytes - 1 && byte > 1) return false;
    value |= static_cast<std::uint64_t>(byte & ~kVarintMore) << (kVarintBits * i);
    if ((byte & kVarintMore) == 0) return true;
  }
  return false;
}

bool TraceDecoder::readBytes(std::uint8_t* out, std::size_t count) {
  if (bytes_.size() - position_ < count) {
    torn_ = true;
    return false;
  }
  std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), count, out);
  position_ += count;
  return true;
}

bool TraceDecoder::readText(std::u16string& text) {
  std::uint64_t length = 0;
  if (!readVarint(length) || length > kTraceMaxText) return false;
  text.resize(static_cast<std::size_t>(length));
  for (char16_t& unit : text) {
    std::uint8_t pair[2];
    if (!readBytes(pair, 2)) return false;
    unit = static_cast<char16_t>(readU16(pair));
  }
  return true;
}

bool TraceDecoder::readNarrow(std::string& text) {
  std::uint64_t length = 0;
  if (!readVarint(length) || length > kTraceMaxText) return false;
  text.resize(static_cast<std::size_t>(length));
  return readBytes(reinterpret_cast<std::uint8_t*>(text.data()), text.size());
}

bool TraceDecoder::readDevices(DeviceList& devices) {
  std::uint64_t count = 0;
  if (!readVarint(count) || count > kTraceMaxDevices) return false;
  devices.resize(static_cast<std::size_t>(count));
  for (HidDeviceInfo& device : devices) {
    if (!readText(device.path) || !readText(device.serial) || !readNarrow(device.error)) return false;
  }
  return true;
}

DecodeStatus TraceDecoder::next(TraceRecord& r) {
  const std::size_t start = position_;
  if (atEnd()) return DecodeStatus::torn;
  const std::uint8_t head = bytes_[position_++];
  const std::uint8_t call = head & kCallMask;
  if (call < static_cast<std::uint8_t>(TraceCall::enumerate) || call > static_cast<std::uint8_t>(TraceCall::limit) ||
      (head & ~(kCallMask | kOkBit | kReceivedBit)) != 0) {
    position_ = start;
    return fail("unknown call");
  }
  r.call = static_cast<TraceCall>(call);
  r.ok = (head & kOkBit) != 0;
  r.received = (head & kReceivedBit) != 0;
  if (r.received && (r.call != TraceCall::readReport || !r.ok)) {
    position_ = start;
    return fail("a report where the call has none");
  }
  if (r.ok && !hasResult(r.call)) {
    position_ = start;
    return fail(std::string("a result for ") + callName(r.call));
  }
  torn_ = false;
  bool good = true;
  std::uint64_t number = 0;
  if (r.call == TraceCall::enumerate) {
    good = readDevices(r.devices);
  } else if (r.call == TraceCall::open) {
    good = readText(r.path);
  } else if (r.call == TraceCall::now) {
    good = readVarint(number);
    // Zigzag codes a negative difference as an odd number.
    if (good && zigzagTimes_ && (number & 1) != 0) {
      position_ = start;
      return fail("the clock goes back");
    }
    if (good) {
      lastNow_ += zigzagTimes_ ? number >> 1 : number;
      r.value = lastNow_;
    }
  } else if (hasNumber(r.call)) {
    good = readVarint(r.value);
  } else if (r.call == TraceCall::random && r.ok) {
    std::uint8_t value[4];
    good = readBytes(value, sizeof value);
    if (good) r.value = readU32(value);
  }
  if (good && hasReport(r)) good = readBytes(r.report.data(), kReportLength);
  if (good) return DecodeStatus::ok;
  if (torn_) {
    position_ = start;
    return DecodeStatus::torn;
  }
  position_ = start;
  return fail(std::string("malformed ") + callName(r.call));
}

}  // namespace pelmora::trace
