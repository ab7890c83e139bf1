// Whole files as bytes, for the runner and the tests: the one reader and
// writer everything outside the plug-in uses.
#pragma once

#include <optional>
#include <string>

namespace quenta::sim {

// The whole file, or none when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& bytes);

}  // namespace quenta::sim
