// The scenario runner's own view of the profile file: just enough XML to set
// and read the text of a key, written independently of the plug-in's profile
// store so that it checks the store rather than trusting it. Edits splice the
// file's bytes, so everything else in it stays exactly as it was.
#pragma once

#include <optional>
#include <string>

namespace quenta::sim {

struct ProfileRead {
  bool wellFormed = true;
  std::string error;                // when not well-formed
  std::optional<std::string> text;  // the key's text; none when the key is absent
};

// Under the root element: first child element `section`, first child element
// `key` under it. An empty document (no root) reads as absent.
ProfileRead ReadProfileText(const std::string& xml, const std::string& section, const std::string& key);
// Sets that key's text, creating root ("profile"), section and key as needed,
// each appended after its existing siblings. Empty optional (and `error`)
// when the document is not well-formed.
std::optional<std::string> SetProfileText(const std::string& xml, const std::string& section, const std::string& key,
                                          const std::string& value, std::string& error);

// The same on files; a missing file is an empty document.
ProfileRead ReadProfileFile(const std::string& path, const std::string& section, const std::string& key);
bool SetProfileFile(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value, std::string& error);
}  // namespace quenta::sim
