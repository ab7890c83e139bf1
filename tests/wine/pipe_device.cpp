#include "tests/wine/pipe_device.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <utility>

#include "tests/wine/fake_hid_bus.h"

namespace quenta::wine {

namespace {

constexpr int kSpareInstances = 3;  // query, read and write opens may come in one call of the plug-in
constexpr DWORD kBufferSize = 4096;
constexpr std::size_t kQueueReports = 32;  // the HID driver's input queue per handle

}  // namespace

// One report on its way to the plug-in: a write that completes when it is read.
struct PendingReport {
  OVERLAPPED io = {};
  std::uint8_t bytes[8] = {};

  PendingReport() { io.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~PendingReport() {
    if (io.hEvent != nullptr) CloseHandle(io.hEvent);
  }
  PendingReport(const PendingReport&) = delete;
  PendingReport& operator=(const PendingReport&) = delete;
};

struct PipeDevice::Instance {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  OVERLAPPED io = {};   // the pending connect, then the pending read
  bool connected = false;
  bool ioPending = false;
  bool isWriter = false;  // the plug-in wrote to this instance
  std::uint8_t rx[64] = {};
  std::deque<std::unique_ptr<PendingReport>> queue;  // oldest first

  // Takes back every report the plug-in has not read.
  void DropQueue() {
    for (auto& report : queue) {
      CancelIoEx(pipe, &report->io);
      DWORD ignored = 0;
      GetOverlappedResult(pipe, &report->io, &ignored, TRUE);
    }
    queue.clear();
  }
  // Forgets the reports the plug-in has read; they complete in order.
  void TrimRead() {
    while (!queue.empty() && HasOverlappedIoCompleted(&queue.front()->io)) queue.pop_front();
  }

  ~Instance() {
    if (pipe != INVALID_HANDLE_VALUE) {
      DropQueue();
      CancelIo(pipe);
      DWORD ignored = 0;
      if (ioPending) GetOverlappedResult(pipe, &io, &ignored, TRUE);
      CloseHandle(pipe);
    }
    if (io.hEvent != nullptr) CloseHandle(io.hEvent);
  }
};

PipeDevice::PipeDevice(std::string path, Writes writes) : path_(std::move(path)), writes_(writes) {}

PipeDevice::~PipeDevice() { Withdraw(); }

void PipeDevice::Serve() {
  if (present_) return;
  present_ = true;
  for (int i = 0; i < kSpareInstances; ++i) AddInstance();
}

void PipeDevice::Withdraw() {
  present_ = false;
  instances_.clear();
}

void PipeDevice::SetFailing(bool failing) {
  failing_ = failing;
  if (!failing) return;
  for (auto& instance : instances_) {
    if (!instance->connected || instance->isWriter) continue;
    instance->DropQueue();
    // With no buffer a write completes at once only into a waiting read.
    PendingReport wake;
    if (!WriteFile(instance->pipe, wake.bytes, sizeof wake.bytes, nullptr, &wake.io) &&
        GetLastError() == ERROR_IO_PENDING) {
      CancelIoEx(instance->pipe, &wake.io);
      DWORD ignored = 0;
      GetOverlappedResult(instance->pipe, &wake.io, &ignored, TRUE);
    }
  }
}

void PipeDevice::ResetQueues() {
  for (auto& instance : instances_) instance->DropQueue();
}

void PipeDevice::AddInstance() {
  // A device that never accepts a report has no buffer and is never read.
  const DWORD inBuffer = writes_ == Writes::Accepted ? kBufferSize : 0;
  auto instance = std::make_unique<Instance>();
  // No buffer towards the plug-in: an unread report stays a pending write, so
  // the queue is ours to count and trim.
  instance->pipe = CreateNamedPipeA(path_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                    0, inBuffer, 0, nullptr);
  instance->io.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (instance->pipe == INVALID_HANDLE_VALUE || instance->io.hEvent == nullptr) {
    std::fprintf(stderr, "cannot serve %s (error %lu)\n", path_.c_str(), GetLastError());
    return;
  }
  Listen(*instance);
  instances_.push_back(std::move(instance));
}

void PipeDevice::Listen(Instance& instance) {
  instance.connected = false;
  instance.isWriter = false;
  instance.ioPending = false;
  ResetEvent(instance.io.hEvent);
  if (ConnectNamedPipe(instance.pipe, &instance.io)) return;
  const DWORD error = GetLastError();
  if (error == ERROR_IO_PENDING) {
    instance.ioPending = true;
  } else if (error == ERROR_PIPE_CONNECTED) {
    instance.connected = true;
    StartRead(instance);
  }
}

void PipeDevice::StartRead(Instance& instance) {
  if (writes_ == Writes::NeverAccepted) return;
  for (;;) {
    ResetEvent(instance.io.hEvent);
    DWORD got = 0;
    if (ReadFile(instance.pipe, instance.rx, sizeof instance.rx, &got, &instance.io)) {
      written_.emplace_back(instance.rx, instance.rx + got);
      instance.isWriter = true;
      continue;
    }
    if (GetLastError() == ERROR_IO_PENDING) {
      instance.ioPending = true;
    } else {
      Recycle(instance);
    }
    return;
  }
}

void PipeDevice::Recycle(Instance& instance) {
  instance.DropQueue();
  DisconnectNamedPipe(instance.pipe);
  Listen(instance);
}

void PipeDevice::PumpInstance(Instance& instance) {
  instance.TrimRead();
  if (!instance.connected) {
    if (!instance.ioPending || !HasOverlappedIoCompleted(&instance.io)) return;
    DWORD ignored = 0;
    instance.ioPending = false;
    if (!GetOverlappedResult(instance.pipe, &instance.io, &ignored, FALSE)) {
      Recycle(instance);
      return;
    }
    instance.connected = true;
    StartRead(instance);
    return;
  }
  if (writes_ == Writes::NeverAccepted) {
    DWORD available = 0;
    if (!PeekNamedPipe(instance.pipe, nullptr, 0, nullptr, &available, nullptr)) Recycle(instance);
    return;
  }
  if (!instance.ioPending || !HasOverlappedIoCompleted(&instance.io)) return;
  instance.ioPending = false;
  DWORD got = 0;
  if (!GetOverlappedResult(instance.pipe, &instance.io, &got, FALSE)) {
    Recycle(instance);
    return;
  }
  written_.emplace_back(instance.rx, instance.rx + got);
  instance.isWriter = true;
  instance.DropQueue();  // the write handle reads nothing
  StartRead(instance);
}

void PipeDevice::Pump() {
  if (!present_) return;
  int listening = 0;
  for (auto& instance : instances_) {
    PumpInstance(*instance);
    if (!instance->connected) ++listening;
  }
  for (; listening < kSpareInstances; ++listening) AddInstance();
}

int PipeDevice::Clients() const {
  int clients = 0;
  for (const auto& instance : instances_) clients += instance->connected ? 1 : 0;
  return clients;
}

bool PipeDevice::SendReport(const std::array<std::uint8_t, 8>& report) {
  if (failing_) return false;
  bool sent = false;
  for (auto& instance : instances_) {
    if (!instance->connected || instance->isWriter) continue;
    Queue(*instance, report);
    sent = true;
  }
  return sent;
}

void PipeDevice::Queue(Instance& instance, const std::array<std::uint8_t, 8>& report) {
  instance.TrimRead();
  auto pending = std::make_unique<PendingReport>();
  std::copy(report.begin(), report.end(), pending->bytes);
  if (WriteFile(instance.pipe, pending->bytes, sizeof pending->bytes, nullptr, &pending->io)) return;  // read at once
  if (GetLastError() != ERROR_IO_PENDING) return;  // the plug-in closed this handle
  instance.queue.push_back(std::move(pending));
  if (instance.queue.size() <= kQueueReports) return;
  // The driver's queue is full: the oldest report is dropped.
  PendingReport& oldest = *instance.queue.front();
  CancelIoEx(instance.pipe, &oldest.io);
  DWORD ignored = 0;
  GetOverlappedResult(instance.pipe, &oldest.io, &ignored, TRUE);
  instance.queue.pop_front();
}

int PipeDevice::Queued() const {
  int queued = 0;
  for (const auto& instance : instances_) {
    instance->TrimRead();
    queued += static_cast<int>(instance->queue.size());
  }
  return queued;
}

std::vector<std::vector<std::uint8_t>> PipeDevice::TakeWritten() {
  Pump();
  return std::exchange(written_, {});
}

PipeHidBus::PipeHidBus() { Publish(); }

PipeHidBus::~PipeHidBus() {
  devices_.clear();
  SetEnvironmentVariableA(kFakeHidPathsVariable, nullptr);
}

PipeDevice& PipeHidBus::Add(const char* identity, int number, PipeDevice::Writes writes) {
  char path[128];
  std::snprintf(path, sizeof path, "\\\\.\\pipe\\hid#%s#%lu.%d", identity, GetCurrentProcessId(), number);
  devices_.push_back(std::make_unique<PipeDevice>(path, writes));
  devices_.back()->Serve();
  Publish();
  return *devices_.back();
}

PipeDevice& PipeHidBus::AddPendant(PipeDevice::Writes writes) { return Add("vid_04d8&pid_fceb", ++pendants_, writes); }

PipeDevice& PipeHidBus::AddOther() { return Add("vid_046d&pid_c077", ++others_, PipeDevice::Writes::Accepted); }

void PipeHidBus::Unplug(PipeDevice& device) {
  device.Withdraw();
  Publish();
}

void PipeHidBus::Replug(PipeDevice& device) {
  device.Serve();
  Publish();
}

void PipeHidBus::ResetQueues() {
  for (auto& device : devices_) device->ResetQueues();
}

void PipeHidBus::Pump() {
  for (auto& device : devices_) device->Pump();
}

void PipeHidBus::Publish() {
  std::string paths;
  for (const auto& device : devices_) {
    if (!device->Present()) continue;
    if (!paths.empty()) paths += kFakeHidPathSeparator;
    paths += device->Path();
  }
  SetEnvironmentVariableA(kFakeHidPathsVariable, paths.c_str());
}

}  // namespace quenta::wine
