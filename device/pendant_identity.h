// Which HID device is the pendant: the first interface in enumeration order
// that carries this identity.
#pragma once

#include <cstdint>

namespace quenta {

constexpr std::uint16_t kPendantVendorId = 0x04D8;
constexpr std::uint16_t kPendantProductId = 0xFCEB;

inline bool IsPendantIdentity(std::uint16_t vendorId, std::uint16_t productId) {
  return vendorId == kPendantVendorId && productId == kPendantProductId;
}

}  // namespace quenta
