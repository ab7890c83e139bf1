// Saves the profile named on the command line over and over, one store per
// round as the entry points make them, until it is killed. Says "ready" on
// standard output after the first round, so that kills land in the loop.
//
// With --host it is the host instead: it saves the template's text COUNT
// times, the version in it counting up from FIRST, the way an XML DOM saves:
// the file created anew (emptied), sometimes held empty a moment, then
// written in pieces, each save whole before the next.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "profile/profile_store.h"

namespace {

bool SaveAsTheHost(const std::string& profile, const std::string& text, std::mt19937& random) {
  const int fd = open(profile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const auto pause = [&](int most) {
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, most)(random)));
  };
  if (random() % 3 == 0) pause(2000);
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t piece = std::min<std::size_t>(text.size() - at, 4096 + random() % 65536);
    if (write(fd, text.data() + at, piece) != static_cast<ssize_t>(piece)) return false;
    at += piece;
    if (random() % 4 == 0) pause(500);
  }
  return close(fd) == 0;
}

int Host(const std::string& profile, const std::string& templatePath, int first, int count, unsigned seed) {
  std::stringstream read;
  read << std::ifstream(templatePath, std::ios::binary).rdbuf();
  const std::string text = read.str();
  const std::string marker = "<Version>0</Version>";
  const std::size_t at = text.find(marker);
  if (at == std::string::npos) return 2;
  std::mt19937 random(seed);
  for (int version = first; version < first + count; ++version) {
    std::string save = text;
    save.replace(at, marker.size(), "<Version>" + std::to_string(version) + "</Version>");
    if (!SaveAsTheHost(profile, save, random)) return 1;
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 5000));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 7 && std::string(argv[1]) == "--host")
    return Host(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]), static_cast<unsigned>(std::atol(argv[6])));
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PROFILE | --host PROFILE TEMPLATE FIRST COUNT SEED\n", argv[0]);
    return 2;
  }
  for (bool first = true;; first = false) {
    quenta::ProfileStore store(argv[1]);
    store.SetInt("Crash", "Counter", store.GetInt("Crash", "Counter", 0) + 1);
    store.Save();
    if (first && write(STDOUT_FILENO, "ready\n", 6) != 6) return 1;
  }
}
