#include "profile/profile_store.h"

#include <algorithm>

#include "profile/leading_integer.h"
#include "plugin/module_state.h"
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

constexpr int kTempNameTries = 16;
constexpr std::int64_t kAbandonedAfterSeconds = 10 * 60;

}  // namespace

ProfileStore::ProfileStore() : ProfileStore(SystemFileLayer(), &CreateXmlDocument) {}

ProfileStore::ProfileStore(FileLayer& files, DocumentFactory createDocument)
    : fileName_(ProfileName), files_(files), createDocument_(createDocument) {
  // Taken before the load: a change that slips in between only makes the save merge.
  if (!fileName_.empty()) {
    files_.StartSave();
    loaded_ = files_.Snapshot(fileName_);
  }
  document_ = OpenProfile(loaded_);
  const bool whole = document_ && HasContent(loaded_);
  if (!fileName_.empty() && !whole && RecoverTemp(loaded_) == Recovery::PutInPlace) {
    loaded_ = files_.Snapshot(fileName_);
    document_ = OpenProfile(loaded_);
  }
  reflectsFile_ = document_ != nullptr;
  foundProfile_ = reflectsFile_ && HasContent(loaded_);
  if (!document_) {
    document_ = createDocument_();
    if (document_ && !EnsureRoot(*document_)) document_.reset();
  }
}

ProfileStore::~ProfileStore() {
  try {
    Save();
  } catch (...) {
    // A save that cannot finish leaves the old profile; nothing may escape to the host.
  }
}

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
  if (onDisk.state == FileSnapshot::State::Unreadable) return nullptr;
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

ProfileStore::Recovery ProfileStore::RecoverTemp(const FileSnapshot& onDisk) {
  std::string cutOff;
  if (onDisk.state == FileSnapshot::State::Unreadable || (HasContent(onDisk) && !files_.ReadAll(fileName_, cutOff)))
    return Recovery::NoWholeTemp;
  std::vector<TempFile> temps = files_.TempsOf(fileName_);
  std::sort(temps.begin(), temps.end(), [](const TempFile& a, const TempFile& b) { return a.modified > b.modified; });
  for (const TempFile& temp : temps) {
    std::string bytes;
    if (!cutOff.empty() && (!files_.ReadAll(temp.path, bytes) || bytes.compare(0, cutOff.size(), cutOff) != 0))
      continue;
    // A temp cut off while it was written is a copy of nothing.
    if (ParsesWhole(temp.path)) return files_.Replace(temp.path, fileName_) ? Recovery::PutInPlace : Recovery::Stuck;
  }
  return Recovery::NoWholeTemp;
}

bool ProfileStore::WriteTemp(const std::string& bytes, std::string& temp) {
  static std::uint32_t saves = 0;
  // A name can be taken by a dead process of the same id, or by one of
  // another computer sharing the folder: the next number is then tried.
  for (int tries = 0; tries < kTempNameTries; ++tries) {
    temp = TempPathFor(fileName_, CurrentProcessId(), ++saves);
    const FileLayer::Created created = files_.CreateDurably(temp, bytes);
    if (created != FileLayer::Created::NameTaken) return created == FileLayer::Created::Written;
  }
  temp.clear();
  return false;
}

// Beside a whole profile a temp is never a copy to keep. One whose process is
// gone, or too old to be a save still under way, goes; the others may still
// be written by their process.
void ProfileStore::RemoveAbandonedTemps() {
  for (const TempFile& temp : files_.TempsOf(fileName_)) {
    if (temp.ageSeconds >= kAbandonedAfterSeconds || !ProcessMayBeRunning(temp.process)) files_.Remove(temp.path);
  }
}

void ProfileStore::Save() {
  if (!document_ || fileName_.empty()) return;
  files_.StartSave();
  FileSnapshot onDisk = files_.Snapshot(fileName_);
  if (onDisk.state != FileSnapshot::State::Unreadable && !HasContent(onDisk)) {
    const Recovery recovery = RecoverTemp(onDisk);
    if (recovery == Recovery::Stuck) return;  // the last copy stays where it is
    if (recovery == Recovery::PutInPlace) onDisk = files_.Snapshot(fileName_);
  }
  XmlDocument* toSave = document_.get();
  std::unique_ptr<XmlDocument> merged;
  if (onDisk != loaded_) {
    // Someone else wrote the profile meanwhile: keep their version and redo ours on top.
    merged = OpenProfile(onDisk);
    if (!merged) return;
    for (const Change& change : changes_) {
      if (!change.removal) {
        WriteValue(*merged, FindOrAppend(*merged, merged->DocumentElement(), change.section), change.key, change.value);
        continue;
      }
      // A value written there since is theirs to keep.
      const XmlElement keyElement = FindKey(*merged, change.section, change.key);
      if (keyElement && HoldsNoValue(merged->Text(keyElement))) RemoveKey(*merged, keyElement);
    }
    toSave = merged.get();
  } else if (!reflectsFile_) {
    return;
  }
  if (files_.IsReadOnly(fileName_)) return;
  std::string bytes;
  if (!toSave->Serialize(bytes)) return;
  std::string temp;
  if (WriteTemp(bytes, temp) && files_.Replace(temp, fileName_)) {
    RemoveAbandonedTemps();
    return;
  }
  // A save can fail with its temp whole: a flush refused, a replace that
  // moved the profile away or stopped half-way through a write in place.
  // Unless a whole profile stands beside it, the temp is then the only whole
  // copy, and the next store puts it in place.
  if (!temp.empty() && ParsesWhole(fileName_)) files_.Remove(temp);
}

}  // namespace quenta
