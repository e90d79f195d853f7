#include "platform/PeResources.h"

#include "platform/Endian.h"
#include "platform/File.h"
#include "platform/Utf.h"

#include <cstdint>
#include <cstring>

namespace plat {

namespace {

constexpr std::uint32_t kRtString = 6;
constexpr int kMaxEntries = 4096; // sanity limit for hostile directories

struct Section {
    std::uint32_t va, vsize, rawOffset, rawSize;
};

class PeImage {
public:
    bool open(const std::string& path) {
        if (!file_.open(path, File::Mode::Read)) return false;
        size_ = file_.size();
        std::uint8_t dos[64];
        if (!readAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
        std::uint32_t peOff = le32(dos + 0x3C);
        std::uint8_t hdr[24];
        if (!readAt(peOff, hdr, sizeof hdr) || std::memcmp(hdr, "PE\0\0", 4) != 0) return false;
        unsigned nSections = le16(hdr + 6);
        unsigned optSize = le16(hdr + 20);
        if (nSections == 0 || nSections > 96 || optSize < 2) return false;
        std::vector<std::uint8_t> opt(optSize);
        if (!readAt(peOff + 24, opt.data(), optSize)) return false;
        unsigned magic = le16(opt.data());
        std::size_t dirBase;
        if (magic == 0x10B)
            dirBase = 96;
        else if (magic == 0x20B)
            dirBase = 112;
        else
            return false;
        // Data directory 2 is the resource table.
        if (dirBase + 4 > optSize) return false;
        std::uint32_t nDirs = le32(opt.data() + dirBase - 4);
        if (nDirs < 3 || dirBase + 3 * 8 > optSize) return false;
        resRva_ = le32(opt.data() + dirBase + 2 * 8);
        if (resRva_ == 0) return false;
        std::uint64_t secOff = static_cast<std::uint64_t>(peOff) + 24 + optSize;
        for (unsigned i = 0; i < nSections; ++i) {
            std::uint8_t s[40];
            if (!readAt(secOff + 40ull * i, s, sizeof s)) return false;
            sections_.push_back({le32(s + 12), le32(s + 8), le32(s + 20), le32(s + 16)});
        }
        return rvaToOffset(resRva_).has_value();
    }

    std::optional<std::vector<std::string>> strings(unsigned first, unsigned last) {
        std::vector<std::string> out(last - first + 1);
        auto typeDir = findEntry(0, kRtString, true);
        if (!typeDir) return out;
        for (unsigned id = first; id <= last; ++id) {
            unsigned block = id / 16 + 1;
            auto nameDir = findEntry(*typeDir, block, true);
            if (!nameDir) continue;
            auto leaf = firstEntry(*nameDir);
            if (!leaf || leaf->isDir) continue;
            std::uint8_t data[16];
            if (!readRes(leaf->offset, data, sizeof data)) continue;
            auto off = rvaToOffset(le32(data));
            std::uint32_t size = le32(data + 4);
            if (!off) continue;
            // Walk the 16 length-prefixed UTF-16 strings of the block.
            std::uint64_t p = *off, end = *off + size;
            for (unsigned k = 0; k < 16 && p + 2 <= end; ++k) {
                std::uint8_t lenb[2];
                if (!readAt(p, lenb, 2)) break;
                unsigned len = le16(lenb);
                p += 2;
                if (p + 2ull * len > end) break;
                if (k == id % 16) {
                    std::vector<std::uint8_t> text(2ull * len);
                    if (len && !readAt(p, text.data(), text.size())) break;
                    std::u16string u;
                    for (unsigned c = 0; c < len; ++c)
                        u.push_back(static_cast<char16_t>(le16(&text[2 * c])));
                    out[id - first] = utf16ToUtf8(u);
                    break;
                }
                p += 2ull * len;
            }
        }
        return out;
    }

private:
    struct Entry {
        bool isDir;
        std::uint32_t offset; // from the start of the resource section
    };

    bool readAt(std::uint64_t off, void* buf, std::size_t n) {
        if (off + n > static_cast<std::uint64_t>(size_)) return false;
        return file_.readAt(static_cast<std::int64_t>(off), buf, n) == static_cast<std::int64_t>(n);
    }
    bool readRes(std::uint32_t off, void* buf, std::size_t n) {
        auto base = rvaToOffset(resRva_);
        return base && readAt(*base + off, buf, n);
    }
    std::optional<std::uint64_t> rvaToOffset(std::uint32_t rva) const {
        for (const auto& s : sections_) {
            std::uint32_t span = std::max(s.vsize, s.rawSize);
            if (rva >= s.va && rva - s.va < span) {
                std::uint64_t delta = rva - s.va;
                if (delta >= s.rawSize) return std::nullopt;
                return static_cast<std::uint64_t>(s.rawOffset) + delta;
            }
        }
        return std::nullopt;
    }
    std::optional<std::uint32_t> findEntry(std::uint32_t dirOff, std::uint32_t id, bool wantDir) {
        std::uint8_t hdr[16];
        if (!readRes(dirOff, hdr, sizeof hdr)) return std::nullopt;
        unsigned named = le16(hdr + 12), ids = le16(hdr + 14);
        if (named + ids > kMaxEntries) return std::nullopt;
        for (unsigned i = named; i < named + ids; ++i) {
            std::uint8_t e[8];
            if (!readRes(dirOff + 16 + 8 * i, e, sizeof e)) return std::nullopt;
            if (le32(e) != id) continue;
            std::uint32_t target = le32(e + 4);
            bool isDir = target & 0x80000000u;
            if (isDir != wantDir) return std::nullopt;
            return target & 0x7FFFFFFFu;
        }
        return std::nullopt;
    }
    std::optional<Entry> firstEntry(std::uint32_t dirOff) {
        std::uint8_t hdr[16];
        if (!readRes(dirOff, hdr, sizeof hdr)) return std::nullopt;
        if (le16(hdr + 12) + le16(hdr + 14) == 0) return std::nullopt;
        std::uint8_t e[8];
        if (!readRes(dirOff + 16, e, sizeof e)) return std::nullopt;
        std::uint32_t target = le32(e + 4);
        return Entry{(target & 0x80000000u) != 0, target & 0x7FFFFFFFu};
    }

    File file_;
    std::int64_t size_ = 0;
    std::uint32_t resRva_ = 0;
    std::vector<Section> sections_;
};

} // namespace

std::optional<std::vector<std::string>> readPeStrings(const std::string& path, unsigned firstId,
                                                      unsigned lastId) {
    if (lastId < firstId) return std::nullopt;
    PeImage img;
    if (!img.open(path)) return std::nullopt;
    return img.strings(firstId, lastId);
}

} // namespace plat
