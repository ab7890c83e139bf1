// Any bytes as the host's profile file, then the plug-in's load, read, write
// and save cycle on it. The file must end up either untouched or a profile
// that reads back what was written, and no temporary file may stay beside it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/pendant_settings.h"
#include "fuzz/fuzz_input.h"
#include "profile/atomic_file.h"
#include "profile/profile_store.h"
#include "sim/whole_file.h"

namespace {

// tmpfs when there is one: the save flushes to disk at every run.
std::string ScratchFolder() {
  static std::string folder = [] {
    std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/quenta-fuzz-XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  return folder;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quenta::fuzz::FuzzInput in(data, size);
  const auto value = static_cast<std::int32_t>(in.Word() | static_cast<std::uint32_t>(in.Word()) << 16);
  const std::string original = in.Rest();

  const std::string path = ScratchFolder() + "/profile.xml";
  quenta::sim::WriteWholeFile(path, original);
  quenta::ProfileStore store(path);
  quenta::PendantSettings settings;
  quenta::LoadSettings(store, settings);
  store.GetInt("Fuzz", "Value", 0);
  store.SetInt("Fuzz", "Value", value);
  quenta::SaveSettings(store, settings);
  const bool saved = store.Save();
  Check(quenta::SystemFileLayer().TempsOf(path).empty());
  const std::string onDisk = quenta::sim::ReadWholeFile(path).value_or(std::string());
  Check(saved || onDisk == original);
  if (onDisk != original) {
    quenta::ProfileStore again(path);
    Check(again.GetInt("Fuzz", "Value", value == 0 ? 1 : 0) == value);
  }
  std::remove(path.c_str());
  return 0;
}
