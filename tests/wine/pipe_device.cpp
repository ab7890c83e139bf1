#include "tests/wine/pipe_device.h"

#include <cstdio>
#include <utility>

#include "tests/wine/fake_hid_bus.h"

namespace quenta::wine {

namespace {

constexpr int kSpareInstances = 3;  // query, read and write opens may come in one call of the plug-in
constexpr DWORD kBufferSize = 4096;

}  // namespace

struct PipeDevice::Instance {
  HANDLE pipe = INVALID_HANDLE_VALUE;
  OVERLAPPED io = {};   // the pending connect, then the pending read
  OVERLAPPED out = {};  // the pending report to the plug-in
  bool connected = false;
  bool ioPending = false;
  bool outPending = false;
  bool isWriter = false;  // the plug-in wrote to this instance
  std::uint8_t rx[64] = {};
  std::uint8_t tx[8] = {};

  ~Instance() {
    if (pipe != INVALID_HANDLE_VALUE) {
      CancelIo(pipe);
      DWORD ignored = 0;
      if (ioPending) GetOverlappedResult(pipe, &io, &ignored, TRUE);
      if (outPending) GetOverlappedResult(pipe, &out, &ignored, TRUE);
      CloseHandle(pipe);
    }
    if (io.hEvent != nullptr) CloseHandle(io.hEvent);
    if (out.hEvent != nullptr) CloseHandle(out.hEvent);
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

void PipeDevice::AddInstance() {
  // A device that never accepts a report has no buffer and is never read.
  const DWORD inBuffer = writes_ == Writes::Accepted ? kBufferSize : 0;
  auto instance = std::make_unique<Instance>();
  instance->pipe = CreateNamedPipeA(path_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                    PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                    kBufferSize, inBuffer, 0, nullptr);
  instance->io.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  instance->out.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (instance->pipe == INVALID_HANDLE_VALUE || instance->io.hEvent == nullptr || instance->out.hEvent == nullptr) {
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
  if (instance.outPending) {
    CancelIo(instance.pipe);
    DWORD ignored = 0;
    GetOverlappedResult(instance.pipe, &instance.out, &ignored, TRUE);
    instance.outPending = false;
  }
  DisconnectNamedPipe(instance.pipe);
  Listen(instance);
}

void PipeDevice::PumpInstance(Instance& instance) {
  if (instance.outPending && HasOverlappedIoCompleted(&instance.out)) instance.outPending = false;
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
  bool sent = false;
  for (auto& instance : instances_) {
    // An instance still holding an unread report is not the one the plug-in reads.
    if (!instance->connected || instance->isWriter || instance->outPending) continue;
    std::copy(report.begin(), report.end(), instance->tx);
    ResetEvent(instance->out.hEvent);
    DWORD put = 0;
    if (WriteFile(instance->pipe, instance->tx, sizeof instance->tx, &put, &instance->out)) {
      sent = true;
    } else if (GetLastError() == ERROR_IO_PENDING) {
      instance->outPending = true;
      sent = true;
    }
  }
  return sent;
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
