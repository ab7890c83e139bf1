// The contract between the Wine test host and the fake SetupAPI it links the
// plug-in against: the host names the device paths present, in enumeration
// order, in one environment variable of its own process, separated by ';'.
#pragma once

namespace quenta::wine {

constexpr char kFakeHidPathsVariable[] = "QUENTA_FAKE_HID_PATHS";
constexpr char kFakeHidPathSeparator = ';';

}  // namespace quenta::wine
