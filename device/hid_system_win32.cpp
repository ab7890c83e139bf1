// SetupAPI enumeration, HID attributes and overlapped reads with a bounded
// wait. The read buffer belongs to the reader, never to the caller's report,
// so a read that completes late cannot change a report while it is decoded.
#include "device/hid_system_win32.h"

#include <windows.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include <cstring>
#include <vector>

namespace quenta {

namespace {

#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "interface record size on the 32-bit target");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5, "fixed part of the detail record on the 32-bit target");
#endif
static_assert(sizeof(HIDD_ATTRIBUTES) == 12, "attribute record size");

constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The errors a handle of a device that was pulled out gives, with or without
// a removal notification. An aborted read is not one of them: the next call
// on the handle tells.
bool DeviceGone(DWORD error) {
  constexpr DWORD kNoSuchDevice = 433;  // ERROR_NO_SUCH_DEVICE, missing from some SDK headers
  switch (error) {
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEV_NOT_EXIST:
    case kNoSuchDevice:
    case ERROR_BAD_COMMAND:  // a handle whose device object is being removed
      return true;
    default:
      return false;
  }
}

HidIo Failed(DWORD error) { return DeviceGone(error) ? HidIo::Gone : HidIo::Failed; }

HidOpenFailure OpenFailure(DWORD error) {
  HidOpenError kind = HidOpenError::Other;
  if (error == ERROR_SHARING_VIOLATION)
    kind = HidOpenError::InUse;
  else if (error == ERROR_ACCESS_DENIED)
    kind = HidOpenError::AccessDenied;
  else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || DeviceGone(error))
    kind = HidOpenError::Missing;
  return {kind, static_cast<std::uint32_t>(error)};
}

// Each reader has its own event: at an arrival the new handle is opened while
// the old one is still being drained.
class OverlappedReader : public HidReader {
 public:
  OverlappedReader(HANDLE file, HANDLE event) : file_(file) { overlapped_.hEvent = event; }

  ~OverlappedReader() override {
    EndPendingRead();
    CloseHandle(file_);
    CloseHandle(overlapped_.hEvent);
  }

  HidIo Read(InputReport& report, unsigned waitMs) override {
    if (!pending_) {
      overlapped_.Offset = overlapped_.OffsetHigh = 0;
      DWORD got = 0;  // ReadFile resets the event itself as the read begins
      if (ReadFile(file_, buffer_, sizeof buffer_, &got, &overlapped_)) return Deliver(report, got);
      const DWORD error = GetLastError();
      if (error != ERROR_IO_PENDING) return Failed(error);
      pending_ = true;
    }
    if (WaitForSingleObject(overlapped_.hEvent, waitMs) != WAIT_OBJECT_0) return HidIo::NotNow;
    DWORD got = 0;
    const BOOL ok = GetOverlappedResult(file_, &overlapped_, &got, FALSE);
    const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    pending_ = false;
    return ok ? Deliver(report, got) : Failed(error);
  }

  HidIo Drain(std::vector<InputReport>& reports) override {
    // Bounded: a pendant that streams faster than this loop would keep it going.
    constexpr int kMostReports = 2 * kDriverQueueReports;
    for (int taken = 0; taken < kMostReports; ++taken) {
      InputReport report;
      HidIo io = Read(report, 0);
      // A read left outstanding may complete between the last look and its
      // cancel: what it took is taken too.
      if (io == HidIo::NotNow && pending_) io = EndPendingRead(&report);
      if (io == HidIo::Done) {
        reports.push_back(report);
        continue;
      }
      return io == HidIo::Gone ? HidIo::Gone : HidIo::Done;
    }
    return HidIo::Done;
  }

 private:
  // Cancels this reader's own read (CancelIo would end only the calling
  // thread's) and waits for its end, so nothing completes into freed memory.
  HidIo EndPendingRead(InputReport* report = nullptr) {
    if (!pending_) return HidIo::NotNow;
    pending_ = false;
    CancelIoEx(file_, &overlapped_);
    DWORD got = 0;
    if (GetOverlappedResult(file_, &overlapped_, &got, TRUE)) return report ? Deliver(*report, got) : HidIo::Done;
    const DWORD error = GetLastError();
    return error == ERROR_OPERATION_ABORTED ? HidIo::NotNow : Failed(error);
  }

  HidIo Deliver(InputReport& report, DWORD got) {
    if (got == 0) return HidIo::NotNow;
    // A short report fills what it carries; the rest of the report reads as zero.
    report.fill(0);
    std::memcpy(report.data(), buffer_, got < report.size() ? got : report.size());
    return HidIo::Done;
  }

  HANDLE file_;
  OVERLAPPED overlapped_ = {};
  bool pending_ = false;
  unsigned char buffer_[kInputReportSize] = {};
};

class BoundedWriter : public HidWriter {
 public:
  BoundedWriter(HANDLE file, HANDLE event) : file_(file), event_(event) {}
  ~BoundedWriter() override {
    CloseHandle(file_);
    CloseHandle(event_);
  }

  HidIo Write(const OutputReport& report, unsigned boundMs) override {
    std::memcpy(buffer_, report.data(), report.size());
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event_;  // WriteFile resets it as the write begins
    DWORD written = 0;
    if (WriteFile(file_, buffer_, sizeof buffer_, &written, &overlapped)) return HidIo::Done;
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return Failed(error);
    if (WaitForSingleObject(event_, boundMs) != WAIT_OBJECT_0) CancelIoEx(file_, &overlapped);
    // The record and buffer must outlive the I/O: wait for the cancelled or finished write.
    if (GetOverlappedResult(file_, &overlapped, &written, TRUE)) return HidIo::Done;
    return Failed(GetLastError());
  }

 private:
  HANDLE file_;
  HANDLE event_;
  unsigned char buffer_[kOutputReportSize] = {};
};

class Win32HidSystem : public HidSystem {
 public:
  HidGuid HidClassGuid() override {
    GUID guid;
    HidD_GetHidGuid(&guid);
    HidGuid result;
    std::memcpy(result.bytes, &guid, sizeof result.bytes);
    return result;
  }

  void ForEachInterface(const HidGuid& classGuid, const std::function<bool(const std::string&)>& visit) override {
    GUID guid;
    std::memcpy(&guid, classGuid.bytes, sizeof guid);
    HDEVINFO set = SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return;
    for (DWORD index = 0;; ++index) {
      SP_DEVICE_INTERFACE_DATA interfaceData = {};
      interfaceData.cbSize = sizeof interfaceData;
      if (!SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &interfaceData)) break;
      DWORD required = 0;
      SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &required, nullptr);
      if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) continue;
      std::vector<unsigned char> storage(required + 1, 0);
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
      if (!SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, required, nullptr, nullptr)) continue;
      if (visit(detail->DevicePath)) break;
    }
    SetupDiDestroyDeviceInfoList(set);
  }

  std::optional<HidAttributes> QueryAttributes(const std::string& path) override {
    HANDLE query = CreateFileA(path.c_str(), 0, kShare, nullptr, OPEN_EXISTING, 0, nullptr);
    if (query == INVALID_HANDLE_VALUE) return std::nullopt;
    HIDD_ATTRIBUTES attributes = {};
    attributes.Size = sizeof attributes;
    const BOOLEAN ok = HidD_GetAttributes(query, &attributes);
    CloseHandle(query);
    if (!ok) return std::nullopt;
    return HidAttributes{attributes.VendorID, attributes.ProductID};
  }

  std::unique_ptr<HidReader> OpenReader(const std::string& path) override {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, kShare, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Refused(GetLastError());
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (event == nullptr) {
      const DWORD error = GetLastError();
      CloseHandle(file);
      return Refused(error);
    }
    lastOpenFailure_ = {};
    return std::make_unique<OverlappedReader>(file, event);
  }

  std::unique_ptr<HidWriter> OpenWriter(const std::string& path) override {
    // Opened overlapped so that the write can be bounded; a device that never
    // accepts a report cannot hold the host's UI thread.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, kShare, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Refused(GetLastError());
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
      const DWORD error = GetLastError();
      CloseHandle(file);
      return Refused(error);
    }
    lastOpenFailure_ = {};
    return std::make_unique<BoundedWriter>(file, event);
  }

  HidOpenFailure LastOpenFailure() const override { return lastOpenFailure_; }

 private:
  std::nullptr_t Refused(DWORD error) {
    lastOpenFailure_ = OpenFailure(error);
    return nullptr;
  }

  HidOpenFailure lastOpenFailure_;
};

}  // namespace

std::unique_ptr<HidSystem> CreateWin32HidSystem() { return std::make_unique<Win32HidSystem>(); }

}  // namespace quenta
