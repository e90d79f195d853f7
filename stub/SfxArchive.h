// The ZIP archive joined to the self-extractor: found through the end
// record at the end of the program's own file (whether or not its offsets
// were moved by the length of the program in front), its members extracted
// into one target folder with the archive engine's ZIP decoders, each
// checked against its CRC and stated size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/extract/Decoder.h"
#include "archive/format/ZipFormat.h"
#include "stub/Os.h"
#include "stub/Ui.h"

namespace sfx {

struct Member {
    std::string Name; // as stored, '/'-separated, UTF-8
    zip::CentralHeader Header;
};

struct Options {
    bool OverwriteAll = false; // answer every overwrite question yes
    std::string Password;      // tried first on encrypted members
};

struct Result {
    int Files = 0;
    int Folders = 0;
    int Skipped = 0; // declined overwrites, links, members without a password
    int Errors = 0;
};

class SfxArchive {
public:
    // Opens `path` and reads the directory of the archive at its end; false
    // with a message in `error` when there is none or it cannot be read.
    bool open(const std::string& path, std::string& error);

    const std::vector<Member>& members() const { return members_; }
    std::string comment() const;
    // Where the ZIP data starts in the file (the length of the program in
    // front of it).
    std::int64_t zipStart() const { return dir_.OffsetDelta; }

    Result extractAll(Target& target, Ui& ui, const Options& options);

private:
    enum class Outcome { File, Folder, Skipped, Failed };
    Outcome extractOne(const Member& m, Target& target, Ui& ui, std::string& error);
    bool readExact(std::int64_t pos, void* buf, std::size_t n);

    InFile file_;
    zip::Directory dir_;
    std::vector<Member> members_;
    dec::DecoderSet decoders_;
    std::string password_;      // the last one that passed
    bool overwriteAll_ = false; // "All" was answered
    bool overwriteNone_ = false;
};

} // namespace sfx
