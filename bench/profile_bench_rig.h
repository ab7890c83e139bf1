// The profile store's whole cycle as an entry point runs it (load, the
// seventeen reads, the seventeen writes, the save) on a host profile of about
// 1 MB, against a plain read and write of the same bytes on the same disk.
#pragma once

#include <cstdio>
#include <string>

#include "config/pendant_settings.h"
#include "profile/atomic_file.h"
#include "profile/profile_store.h"

namespace quenta::bench {

// Thousands of the host's own elements under the root, then the two sections.
inline std::string MakeHostProfile(std::size_t targetBytes) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- machine profile -->\n<profile>\n";
  for (int i = 0; xml.size() < targetBytes; ++i) {
    const std::string n = std::to_string(i);
    xml += "  <Tool" + n + " kind=\"mill\">\n    <Diameter>" + std::to_string(i % 50) + ".125</Diameter>\n" +
           "    <Length>" + std::to_string(20 + i % 80) + "</Length>\n    <Note>slot " + n +
           " &amp; holder</Note>\n  </Tool" + n + ">\n";
  }
  xml += "  <Quenta_M1_Pendant><BUTTON0>3</BUTTON0><BUTTON1>20</BUTTON1><BUTTON2>0</BUTTON2></Quenta_M1_Pendant>\n";
  xml += "  <Quenta_M2_Pendant><Macro1>1</Macro1><OEM1>1021</OEM1><ScreenSel1>1</ScreenSel1></Quenta_M2_Pendant>\n";
  return xml + "</profile>\n";
}

inline bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

inline std::string ReadBytes(const std::string& path) {
  std::string bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  char chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
  std::fclose(file);
  return bytes;
}

// What Config does to the profile, without the dialog.
inline void StoreCycle(const std::string& profile) {
  ProfileStore store(profile);
  LoadSettings(store);
  SaveSettings(store);
  store.Save();
}

// The least any save of the profile costs: read it, write it back (and, to
// match the store's durability, flush it to disk).
inline void PlainReadWrite(const std::string& profile, const std::string& copy, bool flush) {
  if (flush) {
    SystemFileLayer().Remove(copy);
    SystemFileLayer().CreateDurably(copy, ReadBytes(profile));
  } else {
    WriteBytes(copy, ReadBytes(profile));
  }
}

inline void PrintSummary(double storeMs, double plainMs, double flushedMs) {
  std::printf("profile store cycle  median %8.3f ms\n", storeMs);
  std::printf("plain read+write     median %8.3f ms\n", plainMs);
  std::printf("read+write+flush     median %8.3f ms\n", flushedMs);
  std::printf("SUMMARY: %.2f ms, %.1fx plain read+write, %.1fx with flush (goal <= 10x)\n", storeMs,
              storeMs / plainMs, storeMs / flushedMs);
}

}  // namespace quenta::bench
