// Stored member names made into paths below the target folder.
#pragma once

#include <optional>
#include <string>

#include "stub/Os.h"

namespace sfx {

// The path a stored name extracts to: '\' counts as '/', a DOS drive and a
// leading '/' are dropped, and so are empty, "." and ".." parts, so that the
// path never climbs out of the target folder.  Nothing when no name is left.
std::optional<PathParts> confinedPath(const std::string& stored);

std::string joinPath(const PathParts& path);

} // namespace sfx
