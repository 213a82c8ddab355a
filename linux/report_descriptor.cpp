#include "linux/report_descriptor.h"

#include <algorithm>
#include <array>
#include <limits>

namespace pelmora {
namespace {

// Item prefix layout (HID 1.11, 6.2.2.2).
constexpr std::uint8_t kLongItemPrefix = 0xFE;
constexpr std::size_t kLongItemHeader = 3;  // prefix, data size, long tag
constexpr std::uint8_t kSizeMask = 0x03;
constexpr std::size_t kFourByteSizeCode = 3;
constexpr std::size_t kFourBytes = 4;

enum ItemType : std::uint8_t { kMain = 0, kGlobal = 1, kLocal = 2 };

enum MainTag : std::uint8_t {
  kInput = 0x8,
  kOutput = 0x9,
  kCollection = 0xA,
  kFeature = 0xB,
  kEndCollection = 0xC,
};
enum GlobalTag : std::uint8_t {
  kUsagePage = 0x0,
  kReportSize = 0x7,
  kReportId = 0x8,
  kReportCount = 0x9,
  kPush = 0xA,
  kPop = 0xB,
};
enum LocalTag : std::uint8_t { kUsage = 0x0 };

constexpr std::size_t kReportIdCount = 256;
constexpr std::size_t kMaxPushDepth = 16;
constexpr std::uint64_t kBitLimit = std::numeric_limits<std::uint64_t>::max() / 2;
constexpr unsigned kBitsPerByte = 8;
constexpr unsigned kExtendedUsageShift = 16;
constexpr std::uint32_t kUsageMask = 0xFFFF;

struct GlobalState {
  std::uint32_t usagePage = 0;
  std::uint32_t reportSize = 0;
  std::uint32_t reportCount = 0;
  std::uint32_t reportId = 0;
};

struct Item {
  std::uint8_t type = 0;
  std::uint8_t tag = 0;
  std::size_t size = 0;
  std::uint32_t data = 0;
};

class Parser {
 public:
  Parser(const std::uint8_t* bytes, std::size_t length) : bytes_(bytes), length_(length) {}

  ReportDescriptorSummary run() {
    std::size_t pos = 0;
    while (pos < length_ && !malformed_) {
      Item item;
      if (!nextItem(pos, item)) return summary_;
      if (item.size != kLongItemMarker) handle(item);
    }
    summary_.wellFormed = !malformed_ && depth_ == 0;
    summary_.inputReportLength = longestReport(inputBits_);
    summary_.featureReportLength = longestReport(featureBits_);
    return summary_;
  }

 private:
  static constexpr std::size_t kLongItemMarker = std::numeric_limits<std::size_t>::max();

  // Decodes the item at `pos` and moves past it; false when it runs past the
  // end. Long items (reserved by the standard) come back with kLongItemMarker.
  bool nextItem(std::size_t& pos, Item& item) {
    const std::uint8_t prefix = bytes_[pos];
    if (prefix == kLongItemPrefix) {
      if (length_ - pos < kLongItemHeader) return false;
      const std::size_t dataSize = bytes_[pos + 1];
      if (length_ - pos - kLongItemHeader < dataSize) return false;
      pos += kLongItemHeader + dataSize;
      item.size = kLongItemMarker;
      return true;
    }
    const std::size_t sizeCode = prefix & kSizeMask;
    item.size = sizeCode == kFourByteSizeCode ? kFourBytes : sizeCode;
    if (length_ - pos - 1 < item.size) return false;
    item.type = static_cast<std::uint8_t>((prefix >> 2) & 0x3);
    item.tag = static_cast<std::uint8_t>(prefix >> 4);
    for (std::size_t i = 0; i < item.size; ++i) {
      item.data |= static_cast<std::uint32_t>(bytes_[pos + 1 + i]) << (kBitsPerByte * i);
    }
    pos += 1 + item.size;
    return true;
  }

  void handle(const Item& item) {
    switch (item.type) {
      case kMain: handleMain(item); break;
      case kGlobal: handleGlobal(item); break;
      case kLocal: handleLocal(item); break;
      default: break;
    }
  }

  void handleMain(const Item& item) {
    switch (item.tag) {
      case kInput: addBits(inputBits_); break;
      case kFeature: addBits(featureBits_); break;
      case kCollection: openCollection(); break;
      case kEndCollection:
        if (depth_ == 0) malformed_ = true;
        else --depth_;
        break;
      default: break;
    }
    hasUsage_ = false;
  }

  void handleGlobal(const Item& item) {
    switch (item.tag) {
      case kUsagePage: global_.usagePage = item.data & kUsageMask; break;
      case kReportSize: global_.reportSize = item.data; break;
      case kReportCount: global_.reportCount = item.data; break;
      case kReportId:
        if (item.data == 0 || item.data >= kReportIdCount) malformed_ = true;
        else global_.reportId = item.data;
        break;
      case kPush:
        if (stackDepth_ == kMaxPushDepth) malformed_ = true;
        else stack_[stackDepth_++] = global_;
        break;
      case kPop:
        if (stackDepth_ == 0) malformed_ = true;
        else global_ = stack_[--stackDepth_];
        break;
      default: break;
    }
  }

  void handleLocal(const Item& item) {
    if (item.tag != kUsage || hasUsage_) return;
    hasUsage_ = true;
    usage_ = item.data;
    usageIsExtended_ = item.size == kFourBytes;
  }

  void openCollection() {
    if (depth_ == 0) {
      if (summary_.topLevelCollections == 0) {
        const std::uint32_t page = usageIsExtended_ ? usage_ >> kExtendedUsageShift : global_.usagePage;
        summary_.usagePage = static_cast<std::uint16_t>(hasUsage_ ? page : global_.usagePage);
        summary_.usage = static_cast<std::uint16_t>(hasUsage_ ? usage_ & kUsageMask : 0);
      }
      ++summary_.topLevelCollections;
    }
    ++depth_;
  }

  void addBits(std::array<std::uint64_t, kReportIdCount>& bits) {
    // Both factors are below 2^32, so the product cannot overflow.
    const std::uint64_t added = std::uint64_t{global_.reportSize} * global_.reportCount;
    std::uint64_t& total = bits[global_.reportId];
    total = std::min(kBitLimit, total + std::min(kBitLimit, added));
  }

  static std::uint64_t longestReport(const std::array<std::uint64_t, kReportIdCount>& bits) {
    std::uint64_t longest = 0;
    bool any = false;
    for (const std::uint64_t b : bits) {
      if (b == 0) continue;
      any = true;
      longest = std::max(longest, (b + kBitsPerByte - 1) / kBitsPerByte);
    }
    return any ? longest + 1 : 0;
  }

  const std::uint8_t* bytes_;
  std::size_t length_;
  bool malformed_ = false;
  std::size_t depth_ = 0;
  GlobalState global_;
  std::array<GlobalState, kMaxPushDepth> stack_{};
  std::size_t stackDepth_ = 0;
  bool hasUsage_ = false;
  bool usageIsExtended_ = false;
  std::uint32_t usage_ = 0;
  std::array<std::uint64_t, kReportIdCount> inputBits_{};
  std::array<std::uint64_t, kReportIdCount> featureBits_{};
  ReportDescriptorSummary summary_;
};

}  // namespace

ReportDescriptorSummary parseReportDescriptor(const std::uint8_t* bytes, std::size_t length) {
  if (bytes == nullptr || length == 0) return {};
  return Parser(bytes, length).run();
}

}  // namespace pelmora
