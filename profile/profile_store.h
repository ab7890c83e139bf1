// Integers by section and key in the host's XML profile. A store lives for
// one entry point: construction loads the profile, Save writes the whole
// document back. The profile is the host's: a save never writes over what
// another program saved, nor over a profile it did not read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "profile/atomic_file.h"
#include "profile/xml_document.h"

namespace quenta {

class ProfileStore {
 public:
  // Loads the profile named by the host's narrow (ANSI) text; an empty name loads and saves nothing.
  explicit ProfileStore(const std::string& profileName);
  // Saves nothing: only Save writes.
  virtual ~ProfileStore();
  ProfileStore(const ProfileStore&) = delete;
  ProfileStore& operator=(const ProfileStore&) = delete;

  // True when the profile was there and read whole. Reads of a missing, empty
  // or unreadable one give their defaults, and an unreadable one is saved
  // over only if it reads at save time.
  bool FoundTheProfile() const { return foundProfile_; }

  std::int32_t GetInt(const char* section, const char* key, std::int32_t fallback);
  // False when nothing could be stored: no document, or a name that is not a plain XML name.
  bool SetInt(const char* section, const char* key, std::int32_t value);
  // Writes the document back; true when the profile on disk now holds it (or
  // nothing needed writing), false when the save was refused or failed (the
  // settings stay in memory, and a later save tries again).
  bool Save();

 protected:
  // Lets tests make the disk or the document fail.
  using DocumentFactory = std::unique_ptr<XmlDocument> (*)();
  ProfileStore(const std::string& profileName, FileLayer& files, DocumentFactory createDocument);

 private:
  // This store's own changes, replayed onto the file if someone else changed it meanwhile.
  struct Change {
    bool removal;
    std::string section, key;
    std::int32_t value;
  };

  // Each section is looked up once: a host's root can have thousands of children.
  XmlElement Section(const std::string& name, bool create);
  std::unique_ptr<XmlDocument> OpenProfile(const FileSnapshot& onDisk) const;
  bool ParsesWhole(const std::string& path) const;
  enum class Recovery { NoWholeTemp, PutInPlace, Stuck };
  // A profile missing or empty with a whole temp beside it lost its name in
  // a replace that failed half-way, and one that is the start of a whole temp
  // was cut off in a write in place: that temp is the last whole copy.
  Recovery RecoverTemp(const FileSnapshot& onDisk);
  // The document to write over the profile as it is on disk now; null when
  // that must not be written over.
  XmlDocument* DocumentFor(const FileSnapshot& onDisk, std::unique_ptr<XmlDocument>& merged);
  // Creates this save's own temp, with a name no other file has; `temp` is
  // left naming it even if the write failed, and empty if no name was free.
  bool WriteTemp(const std::string& bytes, std::string& temp);
  // Whether a fresh document reads the temp, written with these bytes, as holding what was saved.
  bool ReadsBack(const std::string& temp, const std::string& bytes, XmlDocument& saved) const;
  void RemoveAbandonedTemps();
  bool TrySave();

  std::unique_ptr<XmlDocument> document_;
  std::string fileName_;
  FileLayer& files_;
  DocumentFactory createDocument_;
  FileSnapshot loaded_;        // the profile as read, or as last saved
  bool reflectsFile_ = false;  // false: the profile on disk could not be read, so it must not be replaced
  bool foundProfile_ = false;
  bool stuck_ = false;  // the last whole copy could not be put back: it stays where it is
  std::vector<Change> changes_;
  std::vector<std::pair<std::string, XmlElement>> sections_;  // found or created; none while absent
};

}  // namespace quenta
