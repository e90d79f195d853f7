// TLha writes LHA archives: it adds files to a new or existing archive
// (replacing members whose files changed), moves files into one, deletes
// members and lists an existing archive.  New members get level-0 headers
// and are coded with LZHUF (-lh1-) or stored (-lh0-); members already in
// the archive are copied whole, whatever their header level or method.
//
// The new archive is written beside the old one and renamed over it when
// complete, so a run that fails part-way leaves the old archive as it was.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archive/core/ArcRoot.h"

namespace lzhuf {
class Encoder;
}

class TLha : public TCompBase {
public:
    explicit TLha(TComponent* AOwner = nullptr);
    ~TLha() override;

    // Published
    TCompressMethod CompressMethod = mtFrozen;
    // Up to three characters; nothing in the writer uses it.
    std::string DefaultExt() const;
    void SetDefaultExt(const std::string& Value);

    // The type stays atLHA whatever the file holds.
    void SetArcType(TArcType Value) override;
    void SetArchiveFile(const std::string& Value) override;

    // Stored names: with StoreDirs, the folder being gathered (as the
    // caller named it, without a leading '/') and the name.
    void MakeFileName(const std::string& StoredName) override;

    bool ReadHeader(TCompHeader& Header, plat::File& Stream, bool Flag) override;
    void NextEntry(TCompHeader& Header) override;
    // Runs the job that Switch names; true when an archive was written,
    // emptied (and so deleted) or listed.
    bool Compress() override;

    // The member NextEntry loaded.
    TDateTime DateTime = 0;
    std::int64_t PackedSize = 0;
    std::int64_t UnpackedSize = 0;
    std::uint16_t CRC = 0;
    int Attr = 0;
    char Method = 0;
    std::string MethodName;
    std::uint8_t Ratio = 0;

private:
    struct Run;

    // Detection again (the file may have appeared or changed since the
    // name was set); remembers what the file holds and where its first
    // header is.
    void detectExisting();
    bool isLhaFamily() const;
    bool readMembers(plat::File& in, std::vector<TCompHeader>& members);

    // What a run comes to: nothing written, a new archive to put in
    // place, or the archive removed (its last members deleted).
    enum class Outcome { Nothing, Write, Removed };
    bool prepare(Run& run);
    void copyOut(Run& run, plat::File& from, std::int64_t pos, std::int64_t len);
    Outcome addFiles(Run& run);
    Outcome deleteMembers(Run& run);
    void commit(Run& run);
    void gatherLine(Run& run, const std::string& line);
    void gatherFolder(Run& run, const std::string& dir, const std::string& stored,
                      const std::string& mask);
    void addFile(Run& run, const std::string& path, const std::string& name);
    void moveOriginals(const Run& run);

    std::string DefaultExt_ = "LZH";
    TArcType Detected_ = atNA;
    bool LastReadDamaged_ = false;
    std::string GatherStored_; // the stored folder of the current gathering
    std::unique_ptr<lzhuf::Encoder> Encoder_;
};
