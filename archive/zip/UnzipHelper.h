// Extraction of one member by the ZIP library: the body of the archive's
// extraction hook.  The member's target lies under the base folder (its
// stored folders kept or dropped), is written through descriptors that
// never follow a link, and replaces an existing file only once the member
// has decoded and passed its CRC check.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "archive/zip/ZipArchive.h"

struct TZlExtractSettings {
    // The target folder; empty: the current folder.
    std::string BaseDirectory;
    TZlExtractOptions ExtractOptions{eoCreateDirs};
    // The password tried first; the one that worked is left here.
    std::string Password;
    std::uint8_t PasswordRetries = 3;
    // Asked for another password (Sender is passed through).
    TObject* Sender = nullptr;
    TZlNeedPasswordEvent OnNeedPassword;
    TZlConfirmOverwriteEvent OnConfirmOverwrite;
    // Decode and check without writing anything.
    bool TestOnly = false;
};

// Extracts Item under NewName (a stored name: '/' or '\' separated).
// Raises EZlZipInvalidMethod for a method no decoder reads, EZlZipVersion
// for strong encryption, EZlZipInvalid for a bad local header,
// EZlNoSuchDirectory for a missing folder without eoCreateDirs,
// EZlZipInvalidPassword, EZlZipInflateBlock for broken Deflate data,
// EZlZipBadCRC for data that fails its check, EZlUserAbort on Abort and
// EInOutError for a write that fails.  A member that fails leaves no file
// behind and an existing file as it was.  A member whose overwrite the
// handler refuses is skipped.
void ZlExtractHelper(TZlExtractSettings& Settings, TZlZipArchive& Archive, TZlZipItem& Item,
                     const std::string& NewName);

// The stored path cut into parts that stay beneath the target folder: no
// drive, no empty, "." or ".." parts.
std::vector<std::string> ZlConfinedParts(const std::string& StoredName);
