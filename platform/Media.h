// The medium a path lives on: whether it is a removable disk (a floppy, a
// memory card, a USB stick) and the volume label of its file system.
#pragma once

#include <string>

namespace plat {

// Whether the file system holding `path` (or, when it does not exist, its
// folder) sits on a removable block device.
bool isOnRemovableMedia(const std::string& path);

// Sets the volume label of the file system holding `path`, where the file
// system and the caller's rights allow it; false otherwise.
bool setVolumeLabel(const std::string& path, const std::string& label);

} // namespace plat
