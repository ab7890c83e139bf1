#include "plugin/framework_string.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "plugin/module_core.h"
#include "sim/counting_string_manager.h"

namespace quenta {
namespace {

using sim::CountingStringManager;

// What the host's own string code does to a count: interlocked.
void HostAddsReference(StringData* data) { __atomic_add_fetch(&data->refs, 1, __ATOMIC_ACQ_REL); }
void HostDropsReference(StringData* data) { __atomic_sub_fetch(&data->refs, 1, __ATOMIC_ACQ_REL); }

TEST(FrameworkString, ReleaseFreesOnlyAtTheLastReferenceAndNeverALockedBuffer) {
  CountingStringManager manager;
  FrameworkString shared = manager.Make("abc");
  StringData::FromChars(shared.chars)->refs = 2;
  FrameworkString other = shared;
  ReleaseFrameworkString(shared);
  EXPECT_EQ(manager.frees, 0);
  EXPECT_EQ(shared.chars, nullptr);
  ReleaseFrameworkString(other);
  EXPECT_EQ(manager.frees, 1);

  FrameworkString locked = manager.Make("x");
  StringData* lockedData = StringData::FromChars(locked.chars);
  lockedData->refs = -1;
  ReleaseFrameworkString(locked);
  EXPECT_EQ(manager.frees, 1);
  manager.Free(lockedData);
  EXPECT_EQ(manager.badFrees, 0);
}

TEST(FrameworkString, ALockedBufferTooShortForTheTextIsNeitherReallocatedNorReleased) {
  CountingStringManager manager;
  FrameworkString status = manager.Make("ab");
  StringData* locked = StringData::FromChars(status.chars);
  locked->refs = -1;
  ASSERT_TRUE(AssignFrameworkString(status, " OEM Function #1 executed. "));
  EXPECT_NE(StringData::FromChars(status.chars), locked);
  EXPECT_EQ(FrameworkStringText(status), " OEM Function #1 executed. ");
  EXPECT_EQ(locked->refs, -1);
  EXPECT_STREQ(locked->chars(), "ab");
  EXPECT_EQ(manager.frees, 0);
  EXPECT_EQ(manager.Live(), 2);
  ReleaseFrameworkString(status);
  EXPECT_EQ(manager.frees, 1);
}

// The host copies and drops the string on another thread while the plug-in
// releases the copies it was handed: no change of either side may be lost.
// A lost change needs both threads on a core at once, so the test runs in
// batches until one shows or the last batch is done.
TEST(FrameworkString, ReleasesLoseNoCountChangeOfTheHostsOtherThreads) {
  CountingStringManager manager;
  FrameworkString held = manager.Make("status");
  StringData* data = StringData::FromChars(held.chars);
  // Far from zero, so that a lost change shows in the count instead of freeing the buffer.
  constexpr std::int32_t kHeld = 1 << 24;
  constexpr int kBatches = 50;
  constexpr int kRounds = 500000;
  data->refs = kHeld;
  for (int batch = 0; batch < kBatches && data->refs == kHeld; ++batch) {
    std::atomic<bool> go{false};
    std::thread host([&] {
      while (!go.load()) {
      }
      for (int round = 0; round < kRounds; ++round) {
        HostAddsReference(data);
        HostDropsReference(data);
      }
    });
    go = true;
    for (int round = 0; round < kRounds; ++round) {
      HostAddsReference(data);  // a copy handed to the plug-in
      FrameworkString copy{held.chars};
      ReleaseFrameworkString(copy);
    }
    host.join();
  }
  EXPECT_EQ(data->refs, kHeld);
  EXPECT_EQ(manager.frees, 0);
  data->refs = 1;
  ReleaseFrameworkString(held);
  EXPECT_EQ(manager.frees, 1);
}

TEST(FrameworkString, AssignWritesInPlaceWhenItFitsAndReallocatesWhenSharedOrShort) {
  CountingStringManager manager;
  FrameworkString status = manager.Make("a long status text");
  char* const original = status.chars;

  ASSERT_TRUE(AssignFrameworkString(status, "short"));
  EXPECT_EQ(status.chars, original);
  EXPECT_EQ(FrameworkStringText(status), "short");
  EXPECT_EQ(StringData::FromChars(status.chars)->dataLength, 5);

  ASSERT_TRUE(AssignFrameworkString(status, std::string(100, 'x')));
  EXPECT_NE(status.chars, original);
  EXPECT_EQ(FrameworkStringText(status), std::string(100, 'x'));
  EXPECT_EQ(manager.frees, 1);  // the small buffer went back to its manager

  // Shared with the host: the host's copy keeps its text.
  FrameworkString hostCopy = status;
  StringData::FromChars(status.chars)->refs = 2;
  ASSERT_TRUE(AssignFrameworkString(status, " OEM Function #1 executed. "));
  EXPECT_EQ(FrameworkStringText(hostCopy), std::string(100, 'x'));
  EXPECT_EQ(FrameworkStringText(status), " OEM Function #1 executed. ");
  EXPECT_EQ(StringData::FromChars(hostCopy.chars)->refs, 1);

  ReleaseFrameworkString(hostCopy);
  ReleaseFrameworkString(status);
  EXPECT_EQ(manager.Live(), 0);
  EXPECT_EQ(manager.badFrees, 0);
}

TEST(Title, IsTheModuleStemFollowedByTheFixedTail) {
  EXPECT_EQ(ModuleStem("C:\\Travix\\PlugIns\\Quenta.dll"), "Quenta");
  EXPECT_EQ(ModuleStem("Quenta.dll"), "Quenta");
  EXPECT_EQ(ModuleStem("/opt/x.y/Pendant.v2.dll"), "Pendant.v2");
  EXPECT_EQ(ModuleStem("NoExtension"), "NoExtension");

  CountingStringManager manager;
  ModuleCore quenta("Quenta", nullptr, nullptr);
  EXPECT_STREQ(quenta.SetProName(manager.Make("")), "Quenta Pendant --Orbelin Ver 1.0");
  ModuleCore other("Other", nullptr, nullptr);
  EXPECT_STREQ(other.SetProName(manager.Make("")), "Other Pendant --Orbelin Ver 1.0");
  EXPECT_EQ(manager.allocations, 2);
  EXPECT_EQ(manager.frees, 2);  // each passed string released exactly once
}

}  // namespace
}  // namespace quenta
