#include "plugin/framework_string.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "plugin/lifecycle.h"

namespace quenta {
namespace {

// A string manager like the host's: counts what it hands out and takes back.
class CountingManager : public StringManager {
 public:
  StringData* Allocate(int allocLength, int charSize) override {
    auto* data = static_cast<StringData*>(std::calloc(1, sizeof(StringData) + (allocLength + 1) * charSize));
    data->manager = this;
    data->allocLength = allocLength;
    data->refs = 1;
    live.insert(data);
    ++allocations;
    return data;
  }
  void Free(StringData* data) override {
    EXPECT_EQ(live.erase(data), 1u) << "freed a buffer that is not live";
    ++frees;
    std::free(data);
  }
  StringData* Reallocate(StringData*, int, int) override { return nullptr; }
  StringData* GetNilString() override { return nullptr; }
  StringManager* Clone() override { return this; }

  FrameworkString Make(const char* text) {
    StringData* data = Allocate(static_cast<int>(std::strlen(text)), 1);
    std::memcpy(data->chars(), text, std::strlen(text) + 1);
    data->dataLength = static_cast<int>(std::strlen(text));
    return FrameworkString{data->chars()};
  }

  std::set<StringData*> live;
  int allocations = 0;
  int frees = 0;
};

TEST(FrameworkString, ReleaseFreesOnlyAtTheLastReferenceAndNeverALockedBuffer) {
  CountingManager manager;
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
}

TEST(FrameworkString, AssignWritesInPlaceWhenItFitsAndReallocatesWhenSharedOrShort) {
  CountingManager manager;
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
  EXPECT_TRUE(manager.live.empty());
}

TEST(Title, IsTheModuleStemFollowedByTheFixedTail) {
  EXPECT_EQ(ModuleStem("C:\\Travix\\PlugIns\\Quenta.dll"), "Quenta");
  EXPECT_EQ(ModuleStem("Quenta.dll"), "Quenta");
  EXPECT_EQ(ModuleStem("/opt/x.y/Pendant.v2.dll"), "Pendant.v2");
  EXPECT_EQ(ModuleStem("NoExtension"), "NoExtension");

  CountingManager manager;
  const char* first = SetProNameCore(manager.Make(""), "C:\\Travix\\PlugIns\\Quenta.dll");
  EXPECT_STREQ(first, "Quenta Pendant --Orbelin Ver 1.0");
  const char* second = SetProNameCore(manager.Make(""), "D:\\Other.dll");
  EXPECT_STREQ(second, "Other Pendant --Orbelin Ver 1.0");
  EXPECT_EQ(manager.allocations, 2);
  EXPECT_EQ(manager.frees, 2);  // each passed string released exactly once
}

}  // namespace
}  // namespace quenta
