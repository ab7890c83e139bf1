#include "profile/profile_store.h"

#include <algorithm>

#include "profile/leading_integer.h"
#include "profile/xml_document.h"

namespace quenta {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// Names become element names and, in one DOM, XPath steps: only plain ASCII
// names are looked up or created, so no name can select or write anything else.
bool IsPlainName(const char* name) {
  if (name == nullptr || !(IsAsciiLetter(*name) || *name == '_')) return false;
  for (const char* c = name + 1; *c != '\0'; ++c) {
    if (!(IsAsciiLetter(*c) || IsAsciiDigit(*c) || *c == '_' || *c == '-' || *c == '.')) return false;
  }
  return true;
}

XmlElement EnsureRoot(XmlDocument& document) {
  const XmlElement root = document.DocumentElement();
  return root ? root : document.AppendChild(XmlElement{}, document.CreateElement("profile"));
}

XmlElement FindKey(XmlDocument& document, const std::string& section, const std::string& key) {
  const XmlElement sectionElement = document.SelectSingleNode(document.DocumentElement(), section.c_str());
  return sectionElement ? document.SelectSingleNode(sectionElement, key.c_str()) : XmlElement{};
}

XmlElement FindOrAppend(XmlDocument& document, XmlElement parent, const std::string& name) {
  if (!parent) return {};
  const XmlElement found = document.SelectSingleNode(parent, name.c_str());
  return found ? found : document.AppendChild(parent, document.CreateElement(name.c_str()));
}

bool WriteValue(XmlDocument& document, XmlElement section, const std::string& key, std::int32_t value) {
  const XmlElement keyElement = FindOrAppend(document, section, key);
  if (!keyElement) return false;
  document.SetText(keyElement, std::to_string(value));
  return true;
}

// The host's DOM drops text that is only blanks, so such a key holds no value.
bool HoldsNoValue(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

void RemoveKey(XmlDocument& document, XmlElement keyElement) {
  document.RemoveChild(document.ParentNode(keyElement), keyElement);
}

bool HasContent(const FileSnapshot& onDisk) { return onDisk.state == FileSnapshot::State::Present && onDisk.size > 0; }

// Nothing of the host's is there, and nobody is writing it.
bool HoldsNothing(const FileSnapshot& onDisk) {
  return onDisk.state == FileSnapshot::State::Missing ||
         (onDisk.state == FileSnapshot::State::Present && onDisk.size == 0);
}

constexpr int kTempNameTries = 16;
// A profile that keeps changing under the save is given up after this many merges.
constexpr int kMergeRounds = 3;
constexpr std::int64_t kAbandonedAfterSeconds = 10 * 60;
// Whether another computer's save still runs is not known here, and its clock may differ from ours.
constexpr std::int64_t kOtherComputerAbandonedAfterSeconds = 24 * 60 * 60;

}  // namespace

ProfileStore::ProfileStore(const std::string& profileName)
    : ProfileStore(profileName, SystemFileLayer(), &CreateXmlDocument) {}

ProfileStore::ProfileStore(const std::string& profileName, FileLayer& files, DocumentFactory createDocument)
    : fileName_(profileName.empty() ? std::string() : FilePathFromHostText(profileName)),
      files_(files),
      createDocument_(createDocument) {
  // Taken before the load: a change that slips in between only makes the save merge.
  if (!fileName_.empty()) {
    files_.StartSave();
    loaded_ = files_.Snapshot(fileName_);
  }
  document_ = OpenProfile(loaded_);
  const bool whole = document_ && HasContent(loaded_);
  if (!fileName_.empty() && !whole) {
    const Recovery recovery = RecoverTemp(loaded_);
    stuck_ = recovery == Recovery::Stuck;
    if (recovery == Recovery::PutInPlace) {
      loaded_ = files_.Snapshot(fileName_);
      document_ = OpenProfile(loaded_);
    }
  }
  reflectsFile_ = document_ != nullptr;
  foundProfile_ = reflectsFile_ && HasContent(loaded_);
  if (foundProfile_) RemoveAbandonedTemps();
  if (!document_) {
    document_ = createDocument_();
    if (document_ && !EnsureRoot(*document_)) document_.reset();
  }
}

ProfileStore::~ProfileStore() = default;

std::int32_t ProfileStore::GetInt(const char* section, const char* key, std::int32_t fallback) {
  if (!document_ || !IsPlainName(section) || !IsPlainName(key)) return fallback;
  const XmlElement sectionElement = Section(section, false);
  const XmlElement keyElement = sectionElement ? document_->SelectSingleNode(sectionElement, key) : XmlElement{};
  if (!keyElement) return fallback;
  const std::string text = document_->Text(keyElement);
  if (HoldsNoValue(text)) {
    RemoveKey(*document_, keyElement);
    changes_.push_back({true, section, key, 0});
    return fallback;
  }
  return ParseLeadingInteger(text.c_str()).value;
}

bool ProfileStore::SetInt(const char* section, const char* key, std::int32_t value) {
  if (!document_ || !IsPlainName(section) || !IsPlainName(key)) return false;
  if (!WriteValue(*document_, Section(section, true), key, value)) return false;
  changes_.push_back({false, section, key, value});
  return true;
}

XmlElement ProfileStore::Section(const std::string& name, bool create) {
  auto cached = sections_.begin();
  while (cached != sections_.end() && cached->first != name) ++cached;
  if (cached == sections_.end()) {
    sections_.emplace_back(name, document_->SelectSingleNode(document_->DocumentElement(), name.c_str()));
    cached = sections_.end() - 1;
  }
  if (!cached->second && create) cached->second = FindOrAppend(*document_, document_->DocumentElement(), name);
  return cached->second;
}

std::unique_ptr<XmlDocument> ProfileStore::OpenProfile(const FileSnapshot& onDisk) const {
  if (onDisk.state == FileSnapshot::State::Unreadable || onDisk.state == FileSnapshot::State::BeingWritten)
    return nullptr;
  std::unique_ptr<XmlDocument> document = createDocument_();
  if (!document) return nullptr;
  // A 0-byte file holds nothing of the host's (typically the remains of a
  // crashed writer): it starts afresh like a missing one.
  if (HasContent(onDisk) && !document->Load(fileName_)) return nullptr;
  if (!EnsureRoot(*document)) return nullptr;
  return document;
}

bool ProfileStore::ParsesWhole(const std::string& path) const {
  const std::unique_ptr<XmlDocument> probe = createDocument_();
  return probe && probe->Load(path);
}

// Only a profile that nobody is writing can be the remains of our own replace:
// one the host is rewriting is empty or cut off too, and an older copy put in
// its place would undo the host's saves.
ProfileStore::Recovery ProfileStore::RecoverTemp(const FileSnapshot& onDisk) {
  std::string cutOff;
  if (onDisk.state == FileSnapshot::State::Unreadable || onDisk.state == FileSnapshot::State::BeingWritten ||
      (HasContent(onDisk) && !files_.ReadAll(fileName_, cutOff)))
    return Recovery::NoWholeTemp;
  std::vector<TempFile> temps = files_.TempsOf(fileName_);
  std::sort(temps.begin(), temps.end(), [](const TempFile& a, const TempFile& b) { return a.modified > b.modified; });
  for (const TempFile& temp : temps) {
    std::string bytes;
    if (!cutOff.empty() && (!files_.ReadAll(temp.path, bytes) || bytes.compare(0, cutOff.size(), cutOff) != 0))
      continue;
    // A temp cut off while it was written is a copy of nothing.
    if (!ParsesWhole(temp.path)) continue;
    switch (files_.Replace(temp.path, fileName_, onDisk)) {
      case FileLayer::Replaced::Done:
        return Recovery::PutInPlace;
      case FileLayer::Replaced::Changed:
        return Recovery::NoWholeTemp;
      case FileLayer::Replaced::Failed:
        return Recovery::Stuck;
    }
  }
  return Recovery::NoWholeTemp;
}

XmlDocument* ProfileStore::DocumentFor(const FileSnapshot& onDisk, std::unique_ptr<XmlDocument>& merged) {
  if (onDisk == loaded_) return reflectsFile_ ? document_.get() : nullptr;
  // A profile that held nothing when loaded is written afresh; one read whole
  // and now empty, gone or being written is in the middle of another's save.
  if (!HasContent(onDisk)) return HoldsNothing(onDisk) && HoldsNothing(loaded_) ? document_.get() : nullptr;
  // Someone else wrote the profile meanwhile: keep their version and redo ours on top.
  merged = OpenProfile(onDisk);
  if (!merged) return nullptr;
  for (const Change& change : changes_) {
    if (!change.removal) {
      WriteValue(*merged, FindOrAppend(*merged, merged->DocumentElement(), change.section), change.key, change.value);
      continue;
    }
    // A value written there since is theirs to keep.
    const XmlElement keyElement = FindKey(*merged, change.section, change.key);
    if (keyElement && HoldsNoValue(merged->Text(keyElement))) RemoveKey(*merged, keyElement);
  }
  return merged.get();
}

bool ProfileStore::WriteTemp(const std::string& bytes, std::string& temp) {
  // The temp is created exclusively: a name still taken (a save of this
  // process cut short, a dead process of the same id, another computer
  // sharing the folder) makes the next number tried.
  for (std::uint32_t tries = 1; tries <= kTempNameTries; ++tries) {
    temp = TempPathFor(fileName_, CurrentProcessId(), tries);
    const FileLayer::Created created = files_.CreateDurably(temp, bytes);
    if (created != FileLayer::Created::NameTaken) return created == FileLayer::Created::Written;
  }
  temp.clear();
  return false;
}

bool ProfileStore::ReadsBack(const std::string& temp, const std::string& bytes, XmlDocument& saved) const {
  const std::unique_ptr<XmlDocument> fresh = createDocument_();
  if (!fresh || !fresh->Load(temp)) return false;
  // A DOM that reads what it wrote as it was writes the same bytes again.
  std::string again;
  if (fresh->Serialize(again) && again == bytes) return true;
  // One that lays the same content out otherwise: the content decides.
  std::uint64_t expected = 0, found = 0;
  return saved.ContentDigest(expected) && fresh->ContentDigest(found) && expected == found;
}

// Beside a whole profile a temp is never a copy to keep. One whose process is
// gone, or too old to be a save still under way, goes; the others may still
// be written by their process.
void ProfileStore::RemoveAbandonedTemps() {
  for (const TempFile& temp : files_.TempsOf(fileName_)) {
    const bool abandoned = temp.otherComputer ? temp.ageSeconds >= kOtherComputerAbandonedAfterSeconds
                                              : temp.ageSeconds >= kAbandonedAfterSeconds ||
                                                    !ProcessMayBeRunning(temp.process);
    if (abandoned) files_.Remove(temp.path);
  }
}

bool ProfileStore::Save() {
  if (fileName_.empty()) return true;
  if (!document_ || stuck_) return false;
  try {
    return TrySave();
  } catch (...) {
    // A save that cannot finish leaves the old profile; nothing may escape to the host.
    return false;
  }
}

bool ProfileStore::TrySave() {
  files_.StartSave();
  for (int round = 0; round < kMergeRounds; ++round) {
    const FileSnapshot onDisk = files_.Snapshot(fileName_);
    std::unique_ptr<XmlDocument> merged;
    XmlDocument* const toSave = DocumentFor(onDisk, merged);
    if (toSave == nullptr || files_.IsReadOnly(fileName_)) return false;
    std::string bytes, temp;
    if (!toSave->Serialize(bytes)) return false;
    const bool written = WriteTemp(bytes, temp);
    // A DOM may write what it cannot read back (an encoding it gets wrong):
    // such a temp never takes the profile's place.
    if (written && !ReadsBack(temp, bytes, *toSave)) {
      files_.Remove(temp);
      return false;
    }
    switch (written ? files_.Replace(temp, fileName_, onDisk) : FileLayer::Replaced::Failed) {
      case FileLayer::Replaced::Done: {
        ByteHash hash;
        hash.Add(bytes.data(), bytes.size());
        // Its time stamp is not known: the next save merges from what is on disk then.
        loaded_ = FileSnapshot{FileSnapshot::State::Present, hash.Size(), -1, hash.Value()};
        RemoveAbandonedTemps();
        return true;
      }
      case FileLayer::Replaced::Changed:
        files_.Remove(temp);
        continue;
      case FileLayer::Replaced::Failed:
        // A save can fail with its temp whole: a flush refused, a replace that
        // moved the profile away or stopped half-way through a write in place.
        // Unless a whole profile stands beside it, the temp is then the only
        // whole copy, and the next store puts it in place.
        if (!temp.empty() && ParsesWhole(fileName_)) files_.Remove(temp);
        return false;
    }
  }
  return false;
}

}  // namespace quenta
