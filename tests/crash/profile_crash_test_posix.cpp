// A process saving a large profile is killed at random moments, again and
// again. After each kill the profile must be the old or the new one, whole
// and parseable, and the next save must clear any temporary file left beside it.
#include <gtest/gtest.h>
#include <fcntl.h>
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
constexpr int kHostRounds = 200;

std::string BigProfile(int items = kItems, const std::string& hostsOwn = "") {
  std::string xml = "<?xml version=\"1.0\"?>\n<profile><Host>\n" + hostsOwn;
  for (int i = 0; i < items; ++i)
    xml += "  <Item n=\"" + std::to_string(i) + "\">the host's own data, kept whole</Item>\n";
  xml += "  <Last>marker</Last>\n</Host>";
  return xml + (hostsOwn.empty() ? "<Crash><Counter>0</Counter></Crash></profile>\n" : "</profile>\n");
}

// The host saving its profile COUNT times, the version in it counting up from
// FIRST, the way an XML DOM saves: the file created anew (emptied), sometimes
// held empty a moment, then written in pieces.
pid_t StartHost(const std::string& profile, const std::string& text, int first, int count, unsigned seed) {
  const pid_t child = fork();
  if (child != 0) return child;
  std::mt19937 random(seed);
  for (int version = first; version < first + count; ++version) {
    std::string save = text;
    save.replace(save.find("<Version>0<"), 10, "<Version>" + std::to_string(version));
    const int fd = open(profile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (random() % 3 == 0) usleep(random() % 2000);
    for (std::size_t at = 0, piece; fd >= 0 && at < save.size(); at += piece) {
      piece = std::min<std::size_t>(save.size() - at, 4096 + random() % 65536);
      if (write(fd, save.data() + at, piece) != static_cast<ssize_t>(piece)) _exit(1);
      if (random() % 4 == 0) usleep(random() % 500);
    }
    if (fd < 0 || close(fd) != 0) _exit(1);
    usleep(random() % 5000);
  }
  _exit(0);
}

// Starts the writer and waits until its first round is done.
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
  long version = -1;  // the host's
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
  seen.version = host.child("Version").text().as_llong(-1);
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
    EXPECT_TRUE(ProfileStore(profile).Save());
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
    EXPECT_TRUE(ProfileStore(profile).Save());
    EXPECT_EQ(folder.EntryCount(), 1) << "round " << round << ": a temporary file stayed";
  }
  std::printf("%d rounds of two writers, 0 damaged\n", kTwoWriterRounds);
}

// The host rewrites its profile in place, as its DOM saves, a few times a
// round, while our store saves beside it and is killed at random. After each
// round the profile holds the host's last save, never an older copy nor our
// sections alone; the next store, the host quiet, adds our keys to it.
TEST(ProfileHostWriterTest, TheHostsSavesAreNeverLostToOursKilledAtRandom) {
  TempFolder folder;
  const std::string profile = folder.File("Mill.xml");
  const std::string hostsText = BigProfile(kTwoWriterItems, "<Version>0</Version>");
  WriteFile(profile, hostsText);
  std::mt19937 random(20261210);
  int version = 0, lost = 0, oursLast = 0;
  for (int round = 0; round < kHostRounds; ++round) {
    const int saves = std::uniform_int_distribution<int>(1, 4)(random);
    const pid_t host = StartHost(profile, hostsText, version + 1, saves, random());
    const pid_t ours = StartWriter(profile);
    ASSERT_TRUE(host > 0 && ours > 0) << "a writer did not start";
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 30000)(random)));
    Kill(ours);
    int status = -1;
    waitpid(host, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round << ": the host failed to save";
    version += saves;
    const ProfileSeen seen = Inspect(profile, kTwoWriterItems);
    oursLast += seen.counter >= 0;
    if (!seen.whole || seen.version != version) {
      ++lost;
      ADD_FAILURE() << "round " << round << ": the host's save " << version << " is lost (profile "
                    << (seen.whole ? "whole" : "damaged") << ", version " << seen.version << ")";
    }
    ProfileStore store(profile);
    store.SetInt("Crash", "Counter", round);
    EXPECT_TRUE(store.Save());
    const ProfileSeen next = Inspect(profile, kTwoWriterItems);
    EXPECT_TRUE(next.whole && next.version == version && next.counter == round) << "round " << round;
    EXPECT_EQ(folder.EntryCount(), 1) << "round " << round << ": a temporary file stayed";
  }
  std::printf("%d rounds, %d saves of the host, %d lost; %d rounds ended with a save of ours\n", kHostRounds, version,
              lost, oursLast);
}

}  // namespace
}  // namespace quenta
