// A profile file of its own for each test, and ways to look into the saved
// file without the store.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "config/pendant_settings.h"
#include "profile/profile_store.h"
#include "profile/xml_document.h"
#include "tests/support/temp_folder.h"

namespace quenta {

// An id that no process has, on Linux or on Windows.
constexpr std::uint32_t kGoneProcess = 999999999;

// Removing this temp now would lose the profile: it is whole, and no whole profile stands beside it.
inline bool IsTheOnlyCopy(const std::string& temp, const std::string& profile) {
  return !CreateXmlDocument()->Load(profile) && CreateXmlDocument()->Load(temp);
}

inline void MakeOlder(const std::string& path, std::chrono::minutes by) {
  std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - by);
}

// The store with another file layer or document.
class TestStore : public ProfileStore {
 public:
  TestStore(const std::string& profile, FileLayer& files, DocumentFactory createDocument = &CreateXmlDocument)
      : ProfileStore(profile, files, createDocument) {}
};

// One store's whole life, as an entry point makes it; false when its save was refused.
inline bool SaveOnce(const std::string& profile) { return ProfileStore(profile).Save(); }

class ProfileFixture : public ::testing::Test {
 protected:
  void WriteProfile(const std::string& xml) const { WriteFile(profile_, xml); }
  std::string SavedProfile() const { return ReadFile(profile_); }

  // The text of root/section/key in the file as it is now; none when absent.
  std::optional<std::string> KeyText(const std::string& section, const std::string& key) const {
    std::unique_ptr<XmlDocument> document = CreateXmlDocument();
    if (document == nullptr || !document->Load(profile_)) return std::nullopt;
    const XmlElement sectionElement = document->SelectSingleNode(document->DocumentElement(), section.c_str());
    const XmlElement keyElement = sectionElement ? document->SelectSingleNode(sectionElement, key.c_str()) : XmlElement{};
    if (!keyElement) return std::nullopt;
    return document->Text(keyElement);
  }

  // Where a text first appears in the saved file, for checking element order.
  std::size_t At(const std::string& text) const {
    const std::size_t position = SavedProfile().find(text);
    EXPECT_NE(position, std::string::npos) << text << " not in\n" << SavedProfile();
    return position;
  }
  bool Has(const std::string& text) const { return SavedProfile().find(text) != std::string::npos; }
  std::vector<TempFile> Temps() const { return SystemFileLayer().TempsOf(profile_); }

  TempFolder folder_;
  const std::string profile_ = folder_.File("Mill.xml");
};

// The same, with settings as at load.
class SettingsProfileFixture : public ProfileFixture {
 protected:
  PendantSettings Settings;
};

}  // namespace quenta
