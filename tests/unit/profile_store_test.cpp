// What the store reads and writes inside the host's profile.
#include "profile/profile_store.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "tests/support/profile_fixture.h"

namespace quenta {
namespace {

using ProfileStoreTest = ProfileFixture;

TEST_F(ProfileStoreTest, WorksUnderTheHostsOwnRootAndKeepsItsName) {
  WriteProfile("<Mill><Host>1</Host></Mill>");
  {
    ProfileStore store(profile_);
    EXPECT_EQ(store.GetInt("S", "K", 9), 9);
    EXPECT_TRUE(store.SetInt("S", "K", 3));
    EXPECT_EQ(store.GetInt("S", "K", 9), 3);
    EXPECT_TRUE(store.Save());
  }
  EXPECT_EQ(KeyText("S", "K"), "3");
  EXPECT_LT(At("<Mill>"), At("<Host>1</Host>"));
  EXPECT_LT(At("<Host>1</Host>"), At("<S>"));
  EXPECT_FALSE(Has("<profile"));
}

TEST_F(ProfileStoreTest, MissingSectionOrKeyGivesTheDefaultAndCreatesNothing) {
  WriteProfile("<profile><S><A>1</A></S></profile>");
  {
    ProfileStore store(profile_);
    EXPECT_EQ(store.GetInt("T", "A", 5), 5);
    EXPECT_EQ(store.GetInt("S", "B", -6), -6);
    EXPECT_TRUE(store.Save());
  }
  EXPECT_FALSE(Has("<T"));
  EXPECT_FALSE(Has("<B"));
  EXPECT_EQ(KeyText("S", "A"), "1");
}

TEST_F(ProfileStoreTest, ReadsTheLeadingIntegerAndLeavesTheTextAlone) {
  WriteProfile(
      "<profile><S><a>42</a><b>-7</b><c>12abc</c><d>abc</d><e>\n  8\n</e><f>+3</f>"
      "<g>99999999999</g><h>-99999999999</h></S></profile>");
  {
    ProfileStore store(profile_);
    EXPECT_EQ(store.GetInt("S", "a", 0), 42);
    EXPECT_EQ(store.GetInt("S", "b", 0), -7);
    EXPECT_EQ(store.GetInt("S", "c", 0), 12);
    EXPECT_EQ(store.GetInt("S", "d", 5), 0);
    EXPECT_EQ(store.GetInt("S", "e", 0), 8);
    EXPECT_EQ(store.GetInt("S", "f", 0), 3);
    EXPECT_EQ(store.GetInt("S", "g", 0), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(store.GetInt("S", "h", 0), std::numeric_limits<std::int32_t>::min());
    EXPECT_TRUE(store.Save());
  }
  EXPECT_EQ(KeyText("S", "c"), "12abc");
  EXPECT_EQ(KeyText("S", "d"), "abc");
  EXPECT_EQ(KeyText("S", "g"), "99999999999");
}

TEST_F(ProfileStoreTest, AnEmptyKeyReadsAsTheDefaultAndIsGoneAfterTheSave) {
  WriteProfile("<profile><S><A/><B></B><C>1</C><D/></S></profile>");
  {
    ProfileStore store(profile_);
    EXPECT_EQ(store.GetInt("S", "A", 4), 4);
    EXPECT_EQ(store.GetInt("S", "B", 5), 5);
    EXPECT_EQ(store.GetInt("S", "B", 6), 6);
    EXPECT_TRUE(store.Save());
  }
  EXPECT_EQ(KeyText("S", "A"), std::nullopt);
  EXPECT_EQ(KeyText("S", "B"), std::nullopt);
  EXPECT_EQ(KeyText("S", "C"), "1");
  EXPECT_EQ(KeyText("S", "D"), "");  // never read, so never removed
}

TEST_F(ProfileStoreTest, AKeyOfBlanksOnlyIsEmptyWhileTheHostsOtherBlanksStay) {
  WriteProfile("<profile>\n  <Host> x </Host>\n  <S><A> </A><B>\t\r\n </B><C> 7 </C></S>\n</profile>\n");
  {
    ProfileStore store(profile_);
    EXPECT_EQ(store.GetInt("S", "A", 4), 4);
    EXPECT_EQ(store.GetInt("S", "B", 5), 5);
    EXPECT_EQ(store.GetInt("S", "C", 0), 7);
    EXPECT_TRUE(store.Save());
  }
  EXPECT_EQ(KeyText("S", "A"), std::nullopt);
  EXPECT_EQ(KeyText("S", "B"), std::nullopt);
  EXPECT_EQ(KeyText("S", "C"), " 7 ");
  EXPECT_TRUE(Has("<profile>\n  <Host> x </Host>\n  <S>")) << SavedProfile();
}

TEST_F(ProfileStoreTest, SetIntOnAnExistingKeyKeepsItsPlaceAndMakesNoTwin) {
  WriteProfile("<profile><S><A>1</A><B>2</B><C>3</C></S></profile>");
  {
    ProfileStore store(profile_);
    store.SetInt("S", "B", -12);
    store.SetInt("S", "B", 7);
    EXPECT_TRUE(store.Save());
  }
  EXPECT_EQ(KeyText("S", "B"), "7");
  const std::string saved = SavedProfile();
  EXPECT_EQ(saved.find("<B>"), saved.rfind("<B>"));
  EXPECT_LT(At("<A>"), At("<B>"));
  EXPECT_LT(At("<B>"), At("<C>"));
}

TEST_F(ProfileStoreTest, NewSectionsAndKeysFollowInCallOrder) {
  WriteProfile("<profile><Host/></profile>");
  {
    ProfileStore store(profile_);
    store.SetInt("S1", "k2", 1);
    store.SetInt("S2", "x", 2);
    store.SetInt("S1", "k1", 3);
    EXPECT_TRUE(store.Save());
  }
  const std::string saved = SavedProfile();
  EXPECT_EQ(saved.find("<S1>"), saved.rfind("<S1>"));
  EXPECT_LT(At("<Host"), At("<S1>"));
  EXPECT_LT(At("<k2>1</k2>"), At("<k1>3</k1>"));
  EXPECT_LT(At("<k1>3</k1>"), At("<S2>"));
  EXPECT_EQ(KeyText("S2", "x"), "2");
}

TEST_F(ProfileStoreTest, AMissingProfileIsCreatedEvenWithoutCalls) {
  EXPECT_TRUE(SaveOnce(profile_));
  ASSERT_TRUE(FileExists(profile_));
  EXPECT_TRUE(Has("<profile"));
  EXPECT_EQ(folder_.EntryCount(), 1);
}

TEST_F(ProfileStoreTest, AnEmptyFileStartsAFreshProfile) {
  WriteProfile("");
  {
    ProfileStore store(profile_);
    store.SetInt("S", "K", 1);
    EXPECT_TRUE(store.Save());
  }
  EXPECT_EQ(KeyText("S", "K"), "1");
}

TEST_F(ProfileStoreTest, OnlyPlainNamesAreLookedUpOrWritten) {
  WriteProfile("<profile><S><K>1</K></S></profile>");
  const std::string before = SavedProfile();
  {
    ProfileStore store(profile_);
    for (const char* bad : {"", "a b", "S/K", "*", "1st", "S|K", "x:y"}) {
      EXPECT_FALSE(store.SetInt(bad, "K", 2)) << bad;
      EXPECT_FALSE(store.SetInt("S", bad, 2)) << bad;
      EXPECT_EQ(store.GetInt("S", bad, 5), 5) << bad;
    }
    EXPECT_FALSE(store.SetInt(nullptr, "K", 2));
    EXPECT_EQ(store.GetInt("S", nullptr, 5), 5);
    EXPECT_TRUE(store.Save());
  }
  EXPECT_EQ(KeyText("S", "K"), "1");
  EXPECT_FALSE(Has("2"));
}

}  // namespace
}  // namespace quenta
