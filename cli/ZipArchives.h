// What the verbs do with ZIP archives through the ZIP library: adding and
// deleting members, the self-extractor join, and listing, extracting and
// testing split sets (name.z01, name.z02, ..., name.zip), which the
// lister and the extractors do not follow.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cli {

struct ZipAddOptions {
    bool recurse = false;
    bool junkPaths = false;
    int level = -1; // -1 the default; 0 stores; 1, 3, 5, 9
    std::string password;
    // With a password: WinZip AES with this key length (128 or 256), or
    // 0 for traditional encryption.
    int aesBits = 256;
    std::string archive;
    std::vector<std::string> files;
};

int zipAdd(const ZipAddOptions& o);
int zipDelete(const std::string& archive, const std::vector<std::string>& masks);
int zipSfx(const std::string& stub, const std::string& archive, const std::string& out);

// Whether `archive` is a file of a split set: the last one (name.zip with
// name.z01 beside it and a directory that names earlier disks) or the
// first one (name.z01 with name.zip beside it).
bool isZipSplitSet(const std::string& archive);

// One member of a split set as a listing shows it.
struct ZipSetEntry {
    std::string FileName; // '/' separated
    std::int64_t PackedSize = 0;
    std::int64_t UnpackedSize = 0;
    std::uint8_t Ratio = 0;
    std::string MethodName;
    std::uint32_t CRC = 0;
    std::uint32_t DosDateTime = 0;
    std::uint32_t ExternalAttr = 0;
    std::int64_t Offset = 0;
    bool Encrypted = false;
    bool Folder = false;
    std::string FileComment;
};

// Reads the set's directory; false (with the error printed) when it cannot.
bool zipSetEntries(const std::string& archive, std::vector<ZipSetEntry>& entries,
                   std::string& comment);

struct ZipSetExtractOptions {
    bool test = false;
    std::string dir; // absolute
    bool junkPaths = false;
    std::vector<std::string> passwords;
    int overwrite = 0; // 1 always, -1 never, 0 ask when possible
    std::string mask = "*.*";
};

// olmek-cli x and t on a split set: one line per member, errors on
// standard error, 1 when a member failed.
int zipSetExtract(const std::string& archive, const ZipSetExtractOptions& o);

} // namespace cli
