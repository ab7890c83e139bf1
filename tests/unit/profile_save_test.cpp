// The save never costs the host its profile: not when the file cannot be
// read, nor when a step of the save fails, nor when the host wrote meanwhile.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "profile/atomic_file.h"
#include "tests/support/profile_fixture.h"

namespace quenta {
namespace {

// The real file layer, with one step made to fail on cue.
class FlakyFiles : public FileLayer {
 public:
  enum class Step { None, Write, Replace, ReplaceAfterMovingTheTargetAway };
  explicit FlakyFiles(const std::string& profile) : profile_(profile) {}
  Step failAt = Step::None;
  int replaces = 0;
  int removalsOfTheOnlyCopy = 0;  // a whole temp removed while no whole profile stood beside it
  void (*spoil)(std::string& bytes) = nullptr;  // what a faulty DOM makes of the saved bytes

  FileSnapshot Snapshot(const std::string& path) override { return SystemFileLayer().Snapshot(path); }
  bool ReadAll(const std::string& path, std::string& bytes) override { return SystemFileLayer().ReadAll(path, bytes); }
  bool IsReadOnly(const std::string& path) override { return SystemFileLayer().IsReadOnly(path); }
  bool Remove(const std::string& path) override {
    if (IsTheOnlyCopy(path, profile_)) ++removalsOfTheOnlyCopy;
    return SystemFileLayer().Remove(path);
  }
  Created CreateDurably(const std::string& path, const std::string& bytes) override {
    if (failAt == Step::Write) return Created::Failed;  // the disk is full
    std::string written = bytes;
    if (spoil != nullptr) spoil(written);
    return SystemFileLayer().CreateDurably(path, written);
  }
  Replaced Replace(const std::string& source, const std::string& target, const FileSnapshot& expected) override {
    ++replaces;
    if (failAt == Step::ReplaceAfterMovingTheTargetAway) SystemFileLayer().Remove(target);
    return failAt == Step::None ? SystemFileLayer().Replace(source, target, expected) : Replaced::Failed;
  }
  std::vector<TempFile> TempsOf(const std::string& profile) override { return SystemFileLayer().TempsOf(profile); }

 private:
  std::string profile_;
};

class ProfileSaveTest : public ProfileFixture {
 protected:
  // Runs a store that reads and writes, and checks the profile came through untouched.
  void ExpectProfileUntouchedBy(FileLayer& files, std::int32_t firstRead = 11, const std::string& name = "") {
    const bool existed = FileExists(profile_);
    const std::string before = existed ? SavedProfile() : std::string();
    {
      TestStore store(name.empty() ? profile_ : name, files);
      EXPECT_EQ(store.GetInt("S", "K", 11), firstRead);
      store.SetInt("S", "K", 5);
      EXPECT_FALSE(store.Save());
      EXPECT_EQ(store.GetInt("S", "K", 11), 5);  // still works in memory
    }
    EXPECT_EQ(FileExists(profile_), existed);
    EXPECT_EQ(existed ? SavedProfile() : std::string(), before);
    EXPECT_TRUE(Temps().empty());
  }

  FlakyFiles files_{profile_};
};

TEST_F(ProfileSaveTest, AProfileThatCannotBeParsedIsNeverOverwritten) {
  const std::string unreadable[] = {
      "<profile><S><K>1</K></S>",                  // truncated
      "<profile><S><K>1</S></K></profile>",        // malformed
      "<profile/><profile/>",                      // two roots
      std::string("\xFF\xFE<\0p\0r\0", 8),         // cut-off UTF-16
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?><profile/>",  // wrong encoding
      "   \n",
  };
  for (const std::string& content : unreadable) {
    WriteProfile(content);
    ExpectProfileUntouchedBy(files_);
    EXPECT_EQ(files_.replaces, 0);
  }
}

TEST_F(ProfileSaveTest, AReadOnlyProfileIsLeftAsItIs) {
  WriteProfile("<profile><S><K>1</K></S></profile>");
  std::filesystem::permissions(profile_, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                             std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  ExpectProfileUntouchedBy(files_, 1);
  EXPECT_EQ(folder_.EntryCount(), 1);
}

TEST_F(ProfileSaveTest, AMissingFolderOrNoNameCreatesNothing) {
  ExpectProfileUntouchedBy(files_, 11, folder_.File("absent") + "/Mill.xml");
  EXPECT_FALSE(FileExists(folder_.File("absent")));

  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder_.Path());
  TestStore store("", files_);
  store.SetInt("S", "K", 5);
  EXPECT_TRUE(store.Save());  // nothing to write
  std::filesystem::current_path(previous);
  EXPECT_EQ(folder_.EntryCount(), 0);
}

TEST_F(ProfileSaveTest, AFailedStepKeepsTheOldProfileAndLeavesNoTempFile) {
  for (FlakyFiles::Step step : {FlakyFiles::Step::Write, FlakyFiles::Step::Replace}) {
    WriteProfile("<profile><Host>keep</Host><S><K>1</K></S></profile>");
    files_.failAt = step;
    ExpectProfileUntouchedBy(files_, 1);
    EXPECT_EQ(folder_.EntryCount(), 1);
  }
}

// Beside a whole profile no temp is a copy: those that no save can still be
// writing go as soon as a store sees it, and none ever takes its place.
TEST_F(ProfileSaveTest, LeftoverTempsGoOnceNoSaveCanBeWritingThemAndNeverComeBack) {
  WriteProfile("<profile><S><K>1</K></S></profile>");
  const std::string underWay = TempPathFor(profile_, CurrentProcessId(), 9), earlier = TempPrefixFor(profile_) + "tmp";
  const std::string old = TempPathFor(profile_, CurrentProcessId(), 8);
  for (const std::string& temp : {TempPathFor(profile_, kGoneProcess, 1), old, earlier})
    WriteFile(temp, "<profile><S><K>9</K></S></profile>");
  WriteFile(underWay, "<profile><S>");
  for (const std::string& temp : {old, earlier}) MakeOlder(temp, std::chrono::minutes(11));
  ProfileStore(profile_).GetInt("S", "K", 0);
  ASSERT_EQ(Temps().size(), 1u);
  EXPECT_EQ(Temps()[0].path, underWay);
  std::filesystem::remove(profile_);
  EXPECT_EQ(ProfileStore(profile_).GetInt("S", "K", 0), 0);
}

// A profile's name left empty, or holding the start of a temp (a write in
// place cut short), while nobody writes it: the newest whole temp that fits
// takes its place. An empty profile open for writing is the host's save under way.
TEST_F(ProfileSaveTest, AProfileMissingOrCutOffComesBackFromTheNewestWholeTempThatFitsUnlessTheHostIsWritingIt) {
  struct Case {
    std::optional<std::string> profile;
    bool hostWriting;
    std::optional<std::string> comesBack;
  };
  const Case cases[] = {{std::nullopt, false, "4"},
                        {"", false, "4"},
                        {"<profile><S><K>3", false, "3"},
                        {"<profile><S><K>7", false, std::nullopt},
                        {"", true, std::nullopt}};
  for (const Case& c : cases) {
    for (const auto& entry : std::filesystem::directory_iterator(folder_.Path())) std::filesystem::remove(entry);
    for (int save : {1, 2, 3}) {
      const std::string temp = TempPathFor(profile_, kGoneProcess, save);
      WriteFile(temp, "<profile><S><K>" + std::to_string(save + 2) + (save == 3 ? "" : "</K></S></profile>"));
      MakeOlder(temp, std::chrono::minutes(3 - save));  // the newest cut off
    }
    if (c.profile) WriteProfile(*c.profile);
    std::FILE* host = c.hostWriting ? std::fopen(profile_.c_str(), "r+b") : nullptr;
    EXPECT_EQ(SaveOnce(profile_), c.comesBack.has_value());
    if (host != nullptr) std::fclose(host);
    EXPECT_EQ(KeyText("S", "K"), c.comesBack);
    if (!c.comesBack) { EXPECT_EQ(SavedProfile(), *c.profile); }  // the host's own, half-written
    EXPECT_EQ(folder_.EntryCount(), c.comesBack ? 1 : 4);
  }
}

// A replace that moved the profile away and then failed leaves the new
// profile in the temp file alone: it is kept, and the next store puts it in place.
TEST_F(ProfileSaveTest, ATempThatIsTheOnlyCopyIsKeptAndPutInPlaceAtTheNextStart) {
  WriteProfile("<profile><Host>keep</Host><S><K>1</K></S></profile>");
  files_.failAt = FlakyFiles::Step::ReplaceAfterMovingTheTargetAway;
  {
    TestStore store(profile_, files_);
    store.SetInt("S", "K", 2);
    EXPECT_FALSE(store.Save());
  }
  EXPECT_FALSE(FileExists(profile_));
  ASSERT_EQ(Temps().size(), 1u);
  EXPECT_NE(ReadFile(Temps()[0].path).find("<K>2</K>"), std::string::npos);
  EXPECT_EQ(files_.removalsOfTheOnlyCopy, 0);

  files_.failAt = FlakyFiles::Step::None;
  EXPECT_EQ(TestStore(profile_, files_).GetInt("S", "K", 0), 2);
  EXPECT_EQ(KeyText("S", "K"), "2");
  EXPECT_TRUE(Has("<Host>keep</Host>"));
  EXPECT_EQ(folder_.EntryCount(), 1);
  EXPECT_EQ(files_.removalsOfTheOnlyCopy, 0);
}

TEST_F(ProfileSaveTest, AStrayTempThatCannotBeMovedIsNeitherRemovedNorWrittenOver) {
  const std::string lastCopy = "<profile><Host>keep</Host><S><K>3</K></S></profile>";
  WriteFile(TempPathFor(profile_, kGoneProcess, 1), lastCopy);
  files_.failAt = FlakyFiles::Step::Replace;
  {
    TestStore store(profile_, files_);
    store.SetInt("S", "K", 4);
    EXPECT_FALSE(store.Save());
  }
  EXPECT_FALSE(FileExists(profile_));
  EXPECT_EQ(ReadFile(TempPathFor(profile_, kGoneProcess, 1)), lastCopy);
  EXPECT_EQ(files_.removalsOfTheOnlyCopy, 0);
}

TEST_F(ProfileSaveTest, AStrayTempCutOffWhileWrittenIsNoCopyAndMakesWayForAFreshProfile) {
  WriteFile(TempPathFor(profile_, kGoneProcess, 1), "<profile><S><K>3</K>");
  ProfileStore store(profile_);
  EXPECT_EQ(store.GetInt("S", "K", 9), 9);
  store.SetInt("S", "K", 4);
  EXPECT_TRUE(store.Save());
  EXPECT_EQ(KeyText("S", "K"), "4");
  EXPECT_EQ(folder_.EntryCount(), 1);
}

TEST_F(ProfileSaveTest, AProfileNameIsAFileNameNotAnAddress) {
  for (const std::string name : {"Mill #2.xml", "Mill%20A.xml", "Mill;x=1.xml"}) {
    WriteFile(folder_.File(name), "<profile/>");
    ProfileStore store(folder_.File(name));
    store.SetInt("S", "K", 5);
    EXPECT_TRUE(store.Save());
    EXPECT_NE(ReadFile(folder_.File(name)).find("<K>5</K>"), std::string::npos) << name;
  }
  EXPECT_EQ(folder_.EntryCount(), 3);
}

TEST_F(ProfileSaveTest, AStoreRewritesTheProfileEvenWithoutCalls) {
  WriteProfile("<profile><S><K>1</K></S></profile>");
  EXPECT_TRUE(TestStore(profile_, files_).Save());
  EXPECT_EQ(files_.replaces, 1);
  EXPECT_EQ(KeyText("S", "K"), "1");
}

TEST_F(ProfileSaveTest, WhatTheHostWroteMeanwhileIsKeptAlongWithTheStoresChanges) {
  WriteProfile("<profile><Host>old</Host><S><E/><F>1</F><R/></S></profile>");
  ProfileStore store(profile_);
  EXPECT_EQ(store.GetInt("S", "E", 3), 3);  // removes the empty key
  EXPECT_EQ(store.GetInt("S", "R", 3), 3);
  store.SetInt("S", "F", 2);
  store.SetInt("S", "G", 7);
  store.SetInt("S", "E", 8);
  WriteProfile("<profile><Host>new</Host><S><E/><F>1</F><H>9</H><R>4</R></S><Other/></profile>");
  EXPECT_TRUE(store.Save());
  EXPECT_EQ(KeyText("S", "F"), "2");
  EXPECT_EQ(KeyText("S", "G"), "7");
  EXPECT_EQ(KeyText("S", "E"), "8");  // removed, then written, in that order
  EXPECT_EQ(KeyText("S", "R"), "4");  // the host's new value outlives the store's clean-up
  EXPECT_EQ(KeyText("S", "H"), "9");
  EXPECT_TRUE(Has("<Host>new</Host>"));
  EXPECT_TRUE(Has("<Other"));
}

TEST_F(ProfileSaveTest, AProfileFirstUnreadableThenRepairedByTheHostGetsTheStoresChanges) {
  WriteProfile("<profile><S>");
  ProfileStore store(profile_);
  store.SetInt("S", "K", 6);
  WriteProfile("<profile><Host/></profile>");
  EXPECT_TRUE(store.Save());
  EXPECT_EQ(KeyText("S", "K"), "6");
  EXPECT_TRUE(Has("<Host"));
}

// A profile read whole that is cut off, empty, gone or open for writing at
// the save is the host in the middle of its own: nothing is written, the
// settings stay in memory, and a later save lands them on the host's result.
TEST_F(ProfileSaveTest, AProfileReadWholeIsNotWrittenWhileTheHostRewritesIt) {
  const std::string whole = "<profile><S><K>1</K></S></profile>";
  const std::optional<std::string> meanwhile[] = {"<profile><S><K>1</K>", "", std::nullopt, whole};
  for (const std::optional<std::string>& onDisk : meanwhile) {
    WriteProfile(whole);
    ProfileStore store(profile_);
    store.SetInt("S", "K", 6);
    if (onDisk) WriteProfile(*onDisk);
    if (!onDisk) std::filesystem::remove(profile_);
    std::FILE* host = onDisk == whole ? std::fopen(profile_.c_str(), "r+b") : nullptr;
    EXPECT_FALSE(store.Save());
    if (host != nullptr) std::fclose(host);
    EXPECT_EQ(FileExists(profile_) ? std::optional<std::string>(SavedProfile()) : std::nullopt, onDisk);
    EXPECT_TRUE(Temps().empty());
    EXPECT_EQ(store.GetInt("S", "K", 0), 6);
    WriteProfile("<profile><Host>v2</Host><S><K>1</K></S></profile>");
    EXPECT_TRUE(store.Save());
    EXPECT_EQ(KeyText("S", "K"), "6");
    EXPECT_TRUE(Has("<Host>v2</Host>"));
  }
}

// A DOM that writes what it cannot read back as the same content (bytes cut
// off, text encoded twice): the temp goes and the profile stays as it is.
TEST_F(ProfileSaveTest, ATempThatDoesNotReadBackNeverReplacesTheProfile) {
  const std::string original = "<profile><Host>caf\xC3\xA9</Host><S><K>1</K></S></profile>";
  const auto cutOff = [](std::string& bytes) { bytes.resize(bytes.rfind('<')); };
  const auto encodedTwice = [](std::string& bytes) { bytes.replace(bytes.find("\xC3\xA9"), 2, "\xC3\x83\xC2\xA9"); };
  for (void (*mangle)(std::string&) : {+cutOff, +encodedTwice}) {
    WriteProfile(original);
    files_.spoil = mangle;
    TestStore store(profile_, files_);
    store.SetInt("S", "K", 2);
    EXPECT_FALSE(store.Save());
    EXPECT_EQ(SavedProfile(), original);
    EXPECT_EQ(folder_.EntryCount(), 1);
  }
}

TEST_F(ProfileSaveTest, WithoutADocumentObjectReadsGiveDefaultsAndNothingIsWritten) {
  const auto noDocument = []() -> std::unique_ptr<XmlDocument> { return nullptr; };
  WriteProfile("<profile><S><K>1</K></S></profile>");
  {
    TestStore store(profile_, files_, noDocument);
    EXPECT_EQ(store.GetInt("S", "K", 4), 4);
    EXPECT_FALSE(store.SetInt("S", "K", 5));
    EXPECT_EQ(store.GetInt("S", "K", 4), 4);
    EXPECT_FALSE(store.Save());
  }
  EXPECT_EQ(SavedProfile(), "<profile><S><K>1</K></S></profile>");
  std::filesystem::remove(profile_);
  EXPECT_FALSE(TestStore(profile_, files_, noDocument).Save());
  EXPECT_FALSE(FileExists(profile_));
}

TEST(ByteHashTest, DependsOnTheBytesAloneNotOnHowTheyArrive) {
  const std::string text = "<profile><S><K>12345</K></S></profile>";
  ByteHash whole;
  whole.Add(text.data(), text.size());
  ByteHash pieces;
  for (std::size_t at = 0, step = 1; at < text.size(); at += step, step = step % 9 + 1) {
    pieces.Add(text.data() + at, std::min(step, text.size() - at));
  }
  EXPECT_EQ(whole.Value(), pieces.Value());
  for (std::size_t at = 0; at < text.size(); ++at) {
    std::string changed = text;
    changed[at] ^= 1;
    ByteHash other;
    other.Add(changed.data(), changed.size());
    EXPECT_NE(other.Value(), whole.Value()) << at;
  }
  ByteHash longer;
  longer.Add((text + '\0').data(), text.size() + 1);
  EXPECT_NE(longer.Value(), whole.Value());
}

}  // namespace
}  // namespace quenta
