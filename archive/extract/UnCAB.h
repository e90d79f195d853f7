// Cabinet extractor: each folder is one stream of data blocks (stored or
// MSZIP), from which the files are cut by their folder and offset.  A set
// is followed into its next cabinets; a folder that goes on in the next
// cabinet is one stream across both, so a file split between cabinets is
// written once and whole.
#pragma once

#include <memory>
#include <set>
#include <vector>

#include "archive/extract/UnBase.h"
#include "archive/format/CabFormat.h"

class TUnCAB : public TUnBase {
public:
    explicit TUnCAB(TComponent* AOwner = nullptr);
    ~TUnCAB() override;

    // A cabinet of the set is missing: FN is where it was looked for,
    // VolumeID the disk it is on; the handler may put it there (it is
    // looked for again) or cancel the rest of the set.
    TOnNextCabinet OnNextCabinet;

protected:
    bool AcceptsArcType(TArcType t) const override { return t == atCAB; }
    std::span<const fmt::MethodInfo> Methods() const override { return cab::methods(); }
    void ExtractMembers() override;
    void DecodeMember(TMemberDesc& m, dec::Input& in, dec::Sink& out) override;
    void RestoreAttributes(int fd, const TMemberDesc& m) override;

private:
    struct Cabinet;
    struct Part;
    struct FolderChain;
    class FolderStream;
    struct Placement {
        std::size_t Chain = 0;
        std::uint32_t Offset = 0;
        std::uint32_t Size = 0;
    };

    // Opens and reads the cabinet at base of a file; null with the error
    // code when it cannot be read.
    std::unique_ptr<Cabinet> OpenCabinet(const std::string& path, std::int64_t base, int& error);
    // Adds a cabinet to the set, joining its first folder to the last one
    // of the cabinet before when that goes on.
    void AddCabinet(std::unique_ptr<Cabinet> c);
    // Makes the cabinet after `index` available; false when the set ends
    // there (missing, cancelled, or already walked).
    bool LoadNext(std::size_t index);
    void ExtractCabinet(std::size_t index);
    void ReportFile(const std::string& storedName, int code);

    std::vector<std::unique_ptr<Cabinet>> Cabinets_;
    std::vector<FolderChain> Chains_;
    std::unique_ptr<FolderStream> Stream_;
    std::set<std::string> Visited_;
    Placement Current_;
    std::uint16_t SetId_ = 0;
    bool SetEnded_ = false;
};
