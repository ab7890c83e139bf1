// Integers by section and key in the host's XML profile. A store lives for
// one entry point: construction loads the file named by ProfileName,
// destruction saves the whole document back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quenta {

class XmlDocument;

class ProfileStore {
 public:
  ProfileStore();
  virtual ~ProfileStore();
  ProfileStore(const ProfileStore&) = delete;
  ProfileStore& operator=(const ProfileStore&) = delete;

  std::int32_t GetInt(const char* section, const char* key, std::int32_t fallback);
  bool SetInt(const char* section, const char* key, std::int32_t value);

 private:
  std::unique_ptr<XmlDocument> document_;
  std::string fileName_;
};

}  // namespace quenta
