#include "device/pandrel_win.h"

#include <cstring>

#include "plugin/module_state.h"

namespace quenta {

namespace {

constexpr std::size_t kBroadcastNameOffset = 28;  // after size, type, reserved and the class GUID

std::uint32_t ReadU32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

}  // namespace

std::string BroadcastInterfaceName(const void* data) {
  if (data == nullptr) return {};
  const auto* bytes = static_cast<const unsigned char*>(data);
  const std::uint32_t size = ReadU32(bytes);
  if (size <= kBroadcastNameOffset || ReadU32(bytes + 4) != kDeviceTypeInterface) return {};
  const char* name = reinterpret_cast<const char*>(bytes + kBroadcastNameOffset);
  const std::size_t room = size - kBroadcastNameOffset;
  const void* end = std::memchr(name, '\0', room);
  return std::string(name, end ? static_cast<const char*>(end) - name : room);
}

PandrelWin::PandrelWin(HidSystem& hid, LinkWindow& window) : hid_(hid), window_(window) {}

PandrelWin::~PandrelWin() { CloseHandles(); }

bool PandrelWin::FindPendant() {
  hidClassGuid_ = hid_.HidClassGuid();
  hid_.ForEachInterface(hidClassGuid_, [this](const std::string& path) {
    const std::optional<HidAttributes> attributes = hid_.QueryAttributes(path);
    if (attributes && attributes->vendorId == kPendantVendorId && attributes->productId == kPendantProductId) {
      pendantPath_ = path;
      connected_ = true;
      window_.RegisterForDeviceNotifications(hidClassGuid_);
      OpenHandles();
    }
    return connected_;
  });
  window_.StartPollTimer();
  return connected_;
}

bool PandrelWin::OnDeviceChange(unsigned event, const void* data) {
  if (event == kDeviceArrival) {
    connected_ = true;
    OpenHandles();
  } else if (event == kDeviceRemoveComplete) {
    const std::string name = BroadcastInterfaceName(data);
    if (!name.empty() && EqualIgnoringCase(name, pendantPath_)) {
      CloseHandles();
      connected_ = false;
      Host.DoButton(1021);
    }
  }
  return true;
}

void PandrelWin::OpenHandles() {
  // An arrival while open replaces the handles: the old ones go first, with
  // their outstanding read ended, so repeated arrivals leak nothing.
  CloseHandles();
  readHandle_ = hid_.OpenReader(pendantPath_);
  writeHandle_ = hid_.OpenWriter(pendantPath_);
}

void PandrelWin::CloseHandles() {
  readHandle_.reset();
  writeHandle_.reset();
}

void PandrelWin::OnTimer() {
  if (!connected_) return;
  previousReport_ = inputReport_;
  if (!(readHandle_ && readHandle_->Read(inputReport_, kReadWaitMs))) inputReport_ = previousReport_;
  control_.RunPoll(DecodeButtons(inputReport_));
  PendantLeds leds;
  leds.led800 = Host.GetLED(800);
  leds.led804 = Host.GetLED(804);
  leds.led805 = Host.GetLED(805);
  outputReport_ = EncodeOutputReport(leds, control_.JogIndicator());
  if (writeHandle_) writeHandle_->Write(outputReport_, kWriteBoundMs);
}

}  // namespace quenta
