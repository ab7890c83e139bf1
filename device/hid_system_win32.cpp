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

// What an overlapped read or write needs until the system is done with it:
// the record, its event and the buffer. One whose I/O does not end within a
// bound after its cancel (CancelIoEx lets some operations run on to
// completion) is never freed: the system may still write into it, and the
// host's UI thread may not wait for it.
template <std::size_t Bytes>
struct IoRecord {
  OVERLAPPED overlapped = {};
  unsigned char buffer[Bytes] = {};

  explicit IoRecord(HANDLE event) { overlapped.hEvent = event; }
  ~IoRecord() { CloseHandle(overlapped.hEvent); }
  IoRecord(const IoRecord&) = delete;
  IoRecord& operator=(const IoRecord&) = delete;

  bool Done(DWORD waitMs) const { return WaitForSingleObject(overlapped.hEvent, waitMs) == WAIT_OBJECT_0; }
};

// How long a cancelled read or write may take to end.
constexpr DWORD kCancelBoundMs = 20;

// Cancels the record's own I/O (CancelIo would end only the calling thread's)
// and waits a bounded time for its end. False when it did not end: the
// record is then let go without being freed.
template <std::size_t Bytes>
bool CancelAndWait(HANDLE file, std::unique_ptr<IoRecord<Bytes>>& record) {
  CancelIoEx(file, &record->overlapped);
  if (record->Done(kCancelBoundMs)) return true;
  record.release();  // still the system's: never freed
  return false;
}

class OverlappedReader : public HidReader {
 public:
  // The event starts signalled; ReadFile resets it as each read begins.
  OverlappedReader(HANDLE file, HANDLE event) : file_(file), io_(std::make_unique<IoRecord<kInputReportSize>>(event)) {}

  ~OverlappedReader() override {
    EndPendingRead();
    CloseHandle(file_);
  }

  HidIo Read(InputReport& report, unsigned waitMs) override {
    if (!io_) return Fail("ReadFile", ERROR_OPERATION_ABORTED);
    if (!pending_) {
      io_->overlapped.Offset = io_->overlapped.OffsetHigh = 0;
      DWORD got = 0;
      if (ReadFile(file_, io_->buffer, sizeof io_->buffer, &got, &io_->overlapped)) return Deliver(report, got);
      const DWORD error = GetLastError();
      if (error != ERROR_IO_PENDING) return Fail("ReadFile", error);
      pending_ = true;
    }
    if (!io_->Done(waitMs)) return HidIo::NotNow;
    return Finish(report);
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

  HidCallFailure LastFailure() const override { return failure_; }

 private:
  HidIo EndPendingRead(InputReport* report = nullptr) {
    if (!pending_) return HidIo::NotNow;
    pending_ = false;
    if (!CancelAndWait(file_, io_)) return HidIo::NotNow;
    InputReport ignored;
    const HidIo io = Finish(report != nullptr ? *report : ignored);
    return io == HidIo::Failed && failure_.systemCode == ERROR_OPERATION_ABORTED ? HidIo::NotNow : io;
  }

  HidIo Finish(InputReport& report) {
    pending_ = false;
    DWORD got = 0;
    if (GetOverlappedResult(file_, &io_->overlapped, &got, FALSE)) return Deliver(report, got);
    return Fail("GetOverlappedResult", GetLastError());
  }

  HidIo Deliver(InputReport& report, DWORD got) {
    if (got == 0) return HidIo::NotNow;
    // A short report fills what it carries; the rest of the report reads as zero.
    report.fill(0);
    std::memcpy(report.data(), io_->buffer, got < report.size() ? got : report.size());
    return HidIo::Done;
  }

  HidIo Fail(const char* call, DWORD error) {
    failure_ = {call, static_cast<std::uint32_t>(error)};
    return Failed(error);
  }

  HANDLE file_;
  std::unique_ptr<IoRecord<kInputReportSize>> io_;  // null once a read that would not end was let go
  bool pending_ = false;
  HidCallFailure failure_;
};

class BoundedWriter : public HidWriter {
 public:
  BoundedWriter(HANDLE file, HANDLE event) : file_(file), io_(std::make_unique<IoRecord<kOutputReportSize>>(event)) {}
  ~BoundedWriter() override {
    if (pending_) CancelAndWait(file_, io_);
    CloseHandle(file_);
  }

  HidIo Write(const OutputReport& report, unsigned boundMs) override {
    if (!io_) return HidIo::NotNow;
    // A write the device has not taken yet keeps its record: this report is dropped.
    if (pending_ && !io_->Done(0)) return HidIo::NotNow;
    pending_ = false;
    std::memcpy(io_->buffer, report.data(), report.size());
    const HANDLE event = io_->overlapped.hEvent;
    io_->overlapped = OVERLAPPED{};
    io_->overlapped.hEvent = event;  // WriteFile resets it as the write begins
    DWORD written = 0;
    if (WriteFile(file_, io_->buffer, sizeof io_->buffer, &written, &io_->overlapped)) return HidIo::Done;
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return Failed(error);
    if (!io_->Done(boundMs)) {
      CancelIoEx(file_, &io_->overlapped);
      if (!io_->Done(kCancelBoundMs)) {
        pending_ = true;  // retired when it completes, at a later write or the writer's end
        return HidIo::NotNow;
      }
    }
    if (GetOverlappedResult(file_, &io_->overlapped, &written, FALSE)) return HidIo::Done;
    const DWORD result = GetLastError();
    return result == ERROR_OPERATION_ABORTED ? HidIo::NotNow : Failed(result);
  }

 private:
  HANDLE file_;
  std::unique_ptr<IoRecord<kOutputReportSize>> io_;  // null once a write that would not end was let go
  bool pending_ = false;
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
