// HID devices served by the test host as overlapped named pipes. The plug-in
// opens a device path once for the attribute query, then once to read and
// once to write; each open takes its own pipe instance, so the server keeps
// spare listening instances and tells the roles apart by what arrives: an
// instance the plug-in writes to is its write handle.
//
// Each instance models the HID driver's input queue of its handle: the pipe
// has no buffer towards the plug-in, so a report stays a pending write until
// the plug-in reads it (or completes an outstanding read at once); at most
// 32 are pending, and a 33rd cancels the oldest, which the plug-in then never
// sees. Closing either end empties the queue.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quenta::wine {

class PipeDevice {
 public:
  enum class Writes { Accepted, NeverAccepted };

  PipeDevice(std::string path, Writes writes);
  ~PipeDevice();
  PipeDevice(const PipeDevice&) = delete;
  PipeDevice& operator=(const PipeDevice&) = delete;

  const std::string& Path() const { return path_; }
  bool Present() const { return present_; }

  // Plugged in: the path opens from now on.
  void Serve();
  // Unplugged: every instance closes, so the plug-in's handles break and opens fail.
  void Withdraw();
  // Failing (the import watch fails the plug-in's reads and writes): what the
  // handles held is lost, a read waiting on one of them is completed so that
  // it fails, and nothing sent reaches them until it works again.
  void SetFailing(bool failing);
  // The computer woke: every handle's queue is empty.
  void ResetQueues();

  // Takes note of connections, disconnections and reports written since the
  // last call. Never waits.
  void Pump();
  // Handles the plug-in holds open on this device (after Pump).
  int Clients() const;
  // Queues the 8-byte input report for every open handle that has not written
  // to us; false when no such handle exists.
  bool SendReport(const std::array<std::uint8_t, 8>& report);
  // Reports queued and not yet read, over every open handle.
  int Queued() const;
  // Everything the plug-in wrote since the previous call, one entry per write.
  std::vector<std::vector<std::uint8_t>> TakeWritten();

 private:
  struct Instance;
  void AddInstance();
  void Listen(Instance& instance);
  void StartRead(Instance& instance);
  void Recycle(Instance& instance);
  void Queue(Instance& instance, const std::array<std::uint8_t, 8>& report);
  void PumpInstance(Instance& instance);

  std::string path_;
  Writes writes_;
  bool present_ = false;
  bool failing_ = false;
  std::vector<std::unique_ptr<Instance>> instances_;
  std::vector<std::vector<std::uint8_t>> written_;
};

// The HID devices present, in enumeration order, published to the fake
// SetupAPI. Paths are unique to this process, so test programs may run side by side.
class PipeHidBus {
 public:
  PipeHidBus();
  ~PipeHidBus();
  PipeHidBus(const PipeHidBus&) = delete;
  PipeHidBus& operator=(const PipeHidBus&) = delete;

  // Pendants are 04d8:fceb, other devices 046d:c077; both served at once.
  PipeDevice& AddPendant(PipeDevice::Writes writes = PipeDevice::Writes::Accepted);
  PipeDevice& AddOther();
  void Unplug(PipeDevice& device);
  void Replug(PipeDevice& device);
  // The computer woke: every device's queues are empty.
  void ResetQueues();
  void Pump();

 private:
  PipeDevice& Add(const char* identity, int number, PipeDevice::Writes writes);
  void Publish();

  std::vector<std::unique_ptr<PipeDevice>> devices_;
  int pendants_ = 0;
  int others_ = 0;
};

}  // namespace quenta::wine
