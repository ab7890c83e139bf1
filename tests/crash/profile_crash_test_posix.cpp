// A process saving a large profile is killed at random moments, again and
// again. After each kill the profile must be the old or the new one, whole
// and parseable, and the next save must clear any temporary file left beside it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <pugixml.hpp>
#include <random>
#include <string>
#include <thread>

#include "profile/atomic_file.h"
#include "profile/profile_store.h"
#include "tests/support/temp_folder.h"

namespace quenta {
namespace {

constexpr int kItems = 60000;  // about 4 MB, so a save takes a while
constexpr int kKills = 40;
constexpr int kTwoWriterRounds = 200;
constexpr int kTwoWriterItems = 15000;  // a quarter: each round costs two writers' saves

std::string BigProfile(int items = kItems) {
  std::string xml = "<?xml version=\"1.0\"?>\n<profile><Host>\n";
  for (int i = 0; i < items; ++i)
    xml += "  <Item n=\"" + std::to_string(i) + "\">the host's own data, kept whole</Item>\n";
  xml += "  <Last>marker</Last>\n</Host><Crash><Counter>0</Counter></Crash></profile>\n";
  return xml;
}

// Starts the writer and waits until its first save is done.
pid_t StartWriter(const std::string& profile) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    dup2(ready[1], STDOUT_FILENO);
    close(ready[0]);
    close(ready[1]);
    execl(QUENTA_CRASH_WRITER, QUENTA_CRASH_WRITER, profile.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ready[1]);
  char line[8] = {};
  const bool started = read(ready[0], line, sizeof line) > 0;
  close(ready[0]);
  if (!started && child > 0) {
    waitpid(child, nullptr, 0);
    return -1;
  }
  return child;
}

void Kill(pid_t writer) {
  ::kill(writer, SIGKILL);
  waitpid(writer, nullptr, 0);
}

struct ProfileSeen {
  bool whole = false;
  long counter = -1;
};

ProfileSeen Inspect(const std::string& profile, int expected = kItems) {
  ProfileSeen seen;
  pugi::xml_document document;
  if (!document.load_file(profile.c_str())) return seen;
  const pugi::xml_node host = document.child("profile").child("Host");
  int items = 0;
  for (pugi::xml_node item = host.child("Item"); item; item = item.next_sibling("Item")) ++items;
  seen.whole = items == expected && std::string(host.child("Last").text().get()) == "marker";
  seen.counter = document.child("profile").child("Crash").child("Counter").text().as_llong(-1);
  return seen;
}

TEST(ProfileCrashTest, AKilledSaveLeavesTheOldOrTheNewProfileAndNoStrayFile) {
  TempFolder folder;
  const std::string profile = folder.File("Mill.xml");
  WriteFile(profile, BigProfile());
  std::mt19937 random(20261208);
  long lastCounter = 0;
  int leftoversFound = 0;

  for (int kill = 0; kill < kKills; ++kill) {
    const pid_t writer = StartWriter(profile);
    ASSERT_GT(writer, 0) << "the writer did not start";
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 40000)(random)));
    Kill(writer);

    const ProfileSeen seen = Inspect(profile);
    ASSERT_TRUE(seen.whole) << "kill " << kill << ": the profile is damaged";
    // The counter only grows: a smaller one would mean a save that went missing.
    ASSERT_GE(seen.counter, lastCounter) << "kill " << kill;
    lastCounter = seen.counter;
    if (!SystemFileLayer().TempsOf(profile).empty()) ++leftoversFound;

    // The next save, as the host's next entry point makes it.
    ProfileStore(profile).Save();
    EXPECT_EQ(folder.EntryCount(), 1) << "kill " << kill << ": a temporary file stayed";
    EXPECT_EQ(Inspect(profile).counter, lastCounter);
  }
  // Every writer finished one save before its kill: none of them may be lost.
  EXPECT_GE(lastCounter, kKills);
  std::printf("%d kills, %ld saves, %d kills left a temporary file\n", kKills, lastCounter, leftoversFound);
}

// Two hosts, or the host and a second program, saving one profile: one is
// killed at random, the other saves on alone and is killed in turn.
TEST(ProfileTwoWritersTest, OneKilledBesideTheOtherNeverDamagesTheProfile) {
  TempFolder folder;
  const std::string profile = folder.File("Mill.xml");
  WriteFile(profile, BigProfile(kTwoWriterItems));
  std::mt19937 random(20261209);
  std::uniform_int_distribution<int> pause(0, 30000);
  for (int round = 0; round < kTwoWriterRounds; ++round) {
    const pid_t first = StartWriter(profile);
    const pid_t second = StartWriter(profile);
    ASSERT_TRUE(first > 0 && second > 0) << "a writer did not start";
    std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
    Kill(first);
    std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
    Kill(second);
    ASSERT_TRUE(Inspect(profile, kTwoWriterItems).whole) << "round " << round << ": the profile is damaged";
    ProfileStore(profile).Save();
    EXPECT_EQ(folder.EntryCount(), 1) << "round " << round << ": a temporary file stayed";
  }
  std::printf("%d rounds of two writers, 0 damaged\n", kTwoWriterRounds);
}

}  // namespace
}  // namespace quenta
