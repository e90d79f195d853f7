// Reads the string table (RT_STRING) of a Windows PE executable without
// loading it: enough to find the archive offsets that self-extractors
// announce there.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plat {

// Strings with ids firstId..lastId (UTF-8; empty where the table has none).
// nullopt when the file is not a PE image with a resource section.
std::optional<std::vector<std::string>> readPeStrings(const std::string& path, unsigned firstId,
                                                      unsigned lastId);

} // namespace plat
