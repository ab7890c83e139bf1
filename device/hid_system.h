// The seam between the pendant link and the operating system's HID stack.
// The Win32 side uses SetupAPI, HID and overlapped file I/O; tests and the
// simulator use a virtual pendant.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/pendant_identity.h"
#include "device/reports.h"

namespace quenta {

// The HID driver's input queue per read handle: when it is full, a new report
// pushes out the oldest.
constexpr int kDriverQueueReports = 32;
// The most reports a poll can find: a full queue and one more that completed
// an outstanding read directly. A poll takes them all.
constexpr int kReportsPerPollMax = kDriverQueueReports + 1;

struct HidGuid {
  std::uint8_t bytes[16] = {};
};

struct HidAttributes {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
};

inline bool IsPendant(const std::optional<HidAttributes>& attributes) {
  return attributes && IsPendantIdentity(attributes->vendorId, attributes->productId);
}

// How long a poll waits for a report, and how long the pendant has to take one.
constexpr unsigned kReadWaitMs = 5;
constexpr unsigned kWriteBoundMs = 20;

// The outcome of one read or write on the pendant.
enum class HidIo {
  Done,    // a report was read; the device accepted the report
  NotNow,  // no report within the wait, or the report was not taken in time
  Failed,  // the call failed while the device stays (stuck after a resume, a failing cable)
  Gone,    // the device is no longer there, whether or not a removal was notified
};

// Why the last open of a reader or writer failed.
enum class HidOpenError {
  None,          // the last open succeeded
  Missing,       // the path is not there (any more)
  InUse,         // another program holds the device and shares it with no one
  AccessDenied,  // the system refuses this user or process access
  Other,
};

// The system call that failed last on a handle, and its error number.
struct HidCallFailure {
  const char* call = "";
  std::uint32_t systemCode = 0;
};

struct HidOpenFailure {
  HidOpenError error = HidOpenError::None;
  std::uint32_t systemCode = 0;  // the operating system's own error number, 0 when there is none
};

// A handle opened for overlapped reading. The driver keeps the reports that
// arrive for this handle in a queue; each read takes the oldest. At most one
// read is outstanding; a report that completes after a wait ran out is
// delivered whole by a later call.
class HidReader {
 public:
  // Destruction cancels an outstanding read and waits for its end, so nothing
  // completes into freed memory.
  virtual ~HidReader() = default;
  // Waits at most waitMs for the oldest queued report (0: only takes one already there).
  virtual HidIo Read(InputReport& report, unsigned waitMs) = 0;
  // Appends everything the handle still holds, oldest first, the report an
  // outstanding read completed with included, and ends that read. Gone when
  // the device has left; what it had delivered is appended all the same.
  virtual HidIo Drain(std::vector<InputReport>& reports) = 0;
  // What the last Read or Drain that gave Failed or Gone failed in.
  virtual HidCallFailure LastFailure() const = 0;
};

class HidWriter {
 public:
  virtual ~HidWriter() = default;
  // Gives the device at most boundMs to accept the report; a report not taken
  // in time is dropped.
  virtual HidIo Write(const OutputReport& report, unsigned boundMs) = 0;
};

class HidSystem {
 public:
  virtual ~HidSystem() = default;
  virtual HidGuid HidClassGuid() = 0;
  // Visits the present interfaces of the class in enumeration order until
  // visit returns true or enumeration fails. An interface whose path cannot
  // be read is skipped.
  virtual void ForEachInterface(const HidGuid& classGuid, const std::function<bool(const std::string& path)>& visit) = 0;
  // Opens the path with no access, reads its attributes and closes it again.
  virtual std::optional<HidAttributes> QueryAttributes(const std::string& path) = 0;
  virtual std::unique_ptr<HidReader> OpenReader(const std::string& path) = 0;  // null when the open fails
  virtual std::unique_ptr<HidWriter> OpenWriter(const std::string& path) = 0;  // null when the open fails
  // Why the most recent OpenReader or OpenWriter returned null.
  virtual HidOpenFailure LastOpenFailure() const = 0;
};

}  // namespace quenta
