#include "archive/format/TarFormat.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

namespace tar {

namespace {

// More regions than this is not a file but an attempt on our memory.
constexpr std::size_t kMaxRegions = 1 << 20;

constexpr std::size_t kNameAt = 0, kNameLen = 100;
constexpr std::size_t kModeAt = 100;
constexpr std::size_t kSizeAt = 124, kTimeAt = 136, kSumAt = 148;
constexpr std::size_t kTypeAt = 156, kLinkAt = 157, kMagicAt = 257, kPrefixAt = 345;
// Old GNU headers keep four sparse entries, a continuation flag and the
// real size where ustar has the end of its prefix.
constexpr std::size_t kGnuSparseAt = 386, kGnuExtendedAt = 482, kGnuRealSizeAt = 483;
constexpr std::size_t kSparseEntry = 24, kEntriesInHeader = 4, kEntriesInBlock = 21;

std::string field(const std::uint8_t* p, std::size_t n) {
    const auto* c = reinterpret_cast<const char*>(p);
    return std::string(c, std::find(c, c + n, '\0'));
}

// Blanks and control characters around a header name are not part of it.
std::string trimmed(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

std::int64_t roundUp(std::int64_t n) {
    return (n + kBlock - 1) / kBlock * kBlock;
}

// Sizes are taken up to 2^60: far beyond any file, and sums of a few never
// overflow.
std::int64_t clampSize(std::int64_t n) {
    return std::clamp<std::int64_t>(n, 0, std::int64_t{1} << 60);
}

// A decimal number, optionally signed; a fraction (pax times) is cut off.
bool parseDecimal(std::string_view s, std::int64_t& v) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    if (i == s.size() || s[i] < '0' || s[i] > '9') return false;
    std::int64_t r = 0;
    for (; i < s.size() && s[i] != '.'; ++i) {
        if (s[i] < '0' || s[i] > '9' || r > (INT64_MAX - 9) / 10) return false;
        r = r * 10 + (s[i] - '0');
    }
    if (i < s.size()) ++i;
    for (; i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    v = negative ? -r : r;
    return true;
}

// The pax records of one extended header that this program uses.
struct Pax {
    std::optional<std::string> Path, LinkPath, SparseName;
    std::optional<std::int64_t> Size, MTime, SparseSize;
    int SparseMajor = -1;
    std::optional<std::string> SparseMap;                 // format 0.1
    std::vector<std::int64_t> SparseOffsets, SparseSizes; // format 0.0

    // Records are "LENGTH KEY=VALUE\n"; a malformed one ends the list.
    void parse(const std::string& data) {
        std::size_t at = 0;
        while (at < data.size()) {
            const std::size_t sp = data.find(' ', at);
            if (sp == std::string::npos) return;
            std::int64_t len = 0;
            if (!parseDecimal(std::string_view(data).substr(at, sp - at), len) ||
                len <= static_cast<std::int64_t>(sp - at) ||
                static_cast<std::uint64_t>(len) > data.size() - at)
                return;
            const std::size_t end = at + static_cast<std::size_t>(len);
            if (data[end - 1] != '\n') return;
            std::string_view record(data.data() + sp + 1, end - 1 - (sp + 1));
            const auto eq = record.find('=');
            if (eq != std::string_view::npos) take(record.substr(0, eq), record.substr(eq + 1));
            at = end;
        }
    }

    void take(std::string_view key, std::string_view value) {
        std::int64_t n = 0;
        if (key == "path")
            Path = std::string(value);
        else if (key == "linkpath")
            LinkPath = std::string(value);
        else if (key == "size" && parseDecimal(value, n) && n >= 0)
            Size = n;
        else if (key == "mtime" && parseDecimal(value, n))
            MTime = n;
        else if (key == "GNU.sparse.name")
            SparseName = std::string(value);
        else if ((key == "GNU.sparse.realsize" || key == "GNU.sparse.size") &&
                 parseDecimal(value, n) && n >= 0)
            SparseSize = n;
        else if (key == "GNU.sparse.major" && parseDecimal(value, n))
            SparseMajor = static_cast<int>(std::clamp<std::int64_t>(n, -1, 100));
        else if (key == "GNU.sparse.map")
            SparseMap = std::string(value);
        else if (key == "GNU.sparse.offset" && parseDecimal(value, n) &&
                 SparseOffsets.size() < kMaxRegions)
            SparseOffsets.push_back(n);
        else if (key == "GNU.sparse.numbytes" && parseDecimal(value, n) &&
                 SparseSizes.size() < kMaxRegions)
            SparseSizes.push_back(n);
    }
};

// Reads the decimal lines of a format 1.0 sparse map in front of the data.
class MapReader {
public:
    MapReader(const ReadAt& read, std::int64_t at, std::int64_t limit)
        : read_(read), at_(at), limit_(limit) {}

    bool next(std::int64_t& v) {
        std::string digits;
        for (;;) {
            if (cur_ == buf_.size() && !more()) return false;
            const char c = buf_[cur_++];
            if (c == '\n') break;
            if (digits.size() > 20) return false;
            digits += c;
        }
        return parseDecimal(digits, v) && v >= 0;
    }
    // Bytes of the map, rounded up to whole blocks.
    std::int64_t length() const { return roundUp(static_cast<std::int64_t>(cur_)); }

private:
    bool more() {
        const auto have = static_cast<std::int64_t>(buf_.size());
        if (have >= kMaxMetaSize || at_ + have + kBlock > limit_) return false;
        buf_.resize(buf_.size() + kBlock);
        return read_(at_ + have, buf_.data() + have, kBlock);
    }

    const ReadAt& read_;
    std::int64_t at_, limit_;
    std::string buf_;
    std::size_t cur_ = 0;
};

bool regionsHoldTogether(const Entry& e) {
    std::int64_t end = 0, stored = 0;
    for (const Region& r : e.Regions) {
        if (r.Offset < end || r.Size < 0 || r.Size > e.RealSize - r.Offset) return false;
        end = r.Offset + r.Size;
        stored += r.Size;
    }
    return stored <= e.Size;
}

// The sparse entries of an old GNU header or extension block.
void takeGnuEntries(const std::uint8_t* p, std::size_t count, Entry& e) {
    for (std::size_t i = 0; i < count && e.Regions.size() < kMaxRegions; ++i) {
        const std::uint8_t* s = p + i * kSparseEntry;
        if (s[0] == 0) continue;
        const std::int64_t offset = number(s, 12), size = number(s + 12, 12);
        if (offset < 0 || size < 0) {
            e.Regions.push_back({-1, -1});
            continue;
        }
        e.Regions.push_back({offset, size});
    }
}

} // namespace

bool parseNumber(const std::uint8_t* p, std::size_t n, std::int64_t& value) {
    if (n && (p[0] & 0x80)) {
        if (p[0] & 0x40) {
            // Negative: two's complement, sign bytes in front of the last eight.
            if (n < 8) return false;
            for (std::size_t i = 0; i + 8 < n; ++i)
                if (p[i] != 0xFF) return false;
            if (!(p[n - 8] & 0x80)) return false;
            std::uint64_t v = 0;
            for (std::size_t i = n - 8; i < n; ++i) v = v << 8 | p[i];
            value = static_cast<std::int64_t>(v);
            return true;
        }
        std::uint64_t v = p[0] & 0x3F;
        for (std::size_t i = 1; i < n; ++i) {
            if (v >> 55) return false;
            v = v << 8 | p[i];
        }
        value = static_cast<std::int64_t>(v);
        return true;
    }
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (p[i] >= '0' && p[i] <= '7') {
            if (v >> 60) return false;
            v = v * 8 + static_cast<std::uint64_t>(p[i] - '0');
        }
    value = static_cast<std::int64_t>(v);
    return true;
}

std::int64_t number(const std::uint8_t* p, std::size_t n) {
    std::int64_t v = 0;
    return parseNumber(p, n, v) && v >= 0 ? v : -1;
}

bool checksumOk(const std::uint8_t* block) {
    std::uint32_t stored = 0;
    for (std::size_t i = kSumAt; i < kSumAt + 8; ++i)
        if (block[i] >= '0' && block[i] <= '7') stored = stored * 8 + (block[i] - '0');
    std::uint32_t sum = 0;
    std::int32_t signedSum = 0;
    for (std::size_t i = 0; i < kBlock; ++i) {
        const bool inField = i >= kSumAt && i < kSumAt + 8;
        sum += inField ? 32u : block[i];
        signedSum += inField ? 32 : static_cast<std::int8_t>(block[i]);
    }
    return sum == stored || static_cast<std::uint32_t>(signedSum) == stored;
}

std::string Entry::Path() const {
    return fmt::storedName(Name);
}

std::string Entry::LinkTarget() const {
    return fmt::storedName(LinkName);
}

bool Entry::IsFolder() const {
    return Type == '5' || Type == 'D' ||
           ((Type == '0' || Type == '\0') && !Name.empty() && Name.back() == '/');
}

bool Entry::IsFile() const {
    return !IsFolder() && !IsSymlink() && !IsHardLink() && !IsLabel() && !IsDevice() &&
           !IsUnusable();
}

Status readEntry(const ReadAt& read, std::int64_t pos, std::int64_t fileSize, Entry& e) {
    e = Entry{};
    std::optional<std::string> longName, longLink;
    Pax pax;
    std::uint8_t h[kBlock];
    for (;;) {
        if (pos < 0 || pos > fileSize - kBlock || !read(pos, h, kBlock)) return Status::End;
        const std::string headerName = trimmed(field(h + kNameAt, kNameLen));
        if (headerName.empty()) return Status::End;
        if (!checksumOk(h)) return Status::BadChecksum;
        const char type = static_cast<char>(h[kTypeAt]);
        const std::int64_t size = clampSize(number(h + kSizeAt, 12));
        if (type == 'L' || type == 'K' || type == 'x' || type == 'g') {
            // Metadata of the next header ('g', global records, names no
            // member and is passed over).
            if (size > kMaxMetaSize || size > fileSize - pos - kBlock) return Status::Damaged;
            std::string data(static_cast<std::size_t>(size), '\0');
            if (size && !read(pos + kBlock, data.data(), data.size())) return Status::Damaged;
            if (type == 'L')
                longName = data.substr(0, data.find('\0'));
            else if (type == 'K')
                longLink = data.substr(0, data.find('\0'));
            else if (type == 'x')
                pax.parse(data);
            pos += kBlock + roundUp(size);
            continue;
        }

        e.Pos = pos;
        e.Type = type;
        const bool posix = std::memcmp(h + kMagicAt, "ustar\0", 6) == 0;
        if (pax.SparseName)
            e.Name = *pax.SparseName;
        else if (pax.Path)
            e.Name = *pax.Path;
        else if (longName)
            e.Name = *longName;
        else if (posix && h[kPrefixAt])
            e.Name = field(h + kPrefixAt, 155) + "/" + headerName;
        else
            e.Name = headerName;
        e.LinkName = pax.LinkPath ? *pax.LinkPath : longLink ? *longLink : field(h + kLinkAt, 100);
        std::int64_t sizeField = pax.Size ? clampSize(*pax.Size) : size;
        if (pax.MTime)
            e.ModificationTime = *pax.MTime;
        else if (!parseNumber(h + kTimeAt, 12, e.ModificationTime))
            e.ModificationTime = 0;
        const std::int64_t mode = number(h + kModeAt, 8);
        e.Mode = mode < 0 ? 0 : static_cast<std::uint32_t>(mode & 07777);
        e.Checksum = static_cast<std::uint32_t>(number(h + kSumAt, 8) & 0xFFFFFFFF);
        std::int64_t dataStart = pos + kBlock;

        if (type == 'S') {
            // Old GNU sparse member: the map in the header and in extension
            // blocks in front of the data.
            e.Sparse = true;
            e.RealSize = clampSize(number(h + kGnuRealSizeAt, 12));
            takeGnuEntries(h + kGnuSparseAt, kEntriesInHeader, e);
            bool extended = h[kGnuExtendedAt] != 0;
            std::uint8_t ext[kBlock];
            while (extended) {
                if (dataStart > fileSize - kBlock || !read(dataStart, ext, kBlock) ||
                    e.Regions.size() >= kMaxRegions)
                    return Status::Damaged;
                takeGnuEntries(ext, kEntriesInBlock, e);
                extended = ext[kEntriesInBlock * kSparseEntry] != 0;
                dataStart += kBlock;
            }
            e.DataPos = dataStart;
            e.Size = sizeField;
        } else if (pax.SparseMajor == 1) {
            // Format 1.0: the map is the first lines of the data.
            e.Sparse = true;
            e.RealSize = clampSize(pax.SparseSize.value_or(0));
            MapReader map(read, dataStart, std::min(fileSize, dataStart + sizeField));
            std::int64_t count = 0;
            if (!map.next(count) || count < 0 || static_cast<std::uint64_t>(count) > kMaxRegions)
                return Status::Damaged;
            for (std::int64_t i = 0; i < count; ++i) {
                Region r;
                if (!map.next(r.Offset) || !map.next(r.Size)) return Status::Damaged;
                e.Regions.push_back(r);
            }
            e.DataPos = dataStart + map.length();
            e.Size = std::max<std::int64_t>(sizeField - map.length(), 0);
        } else if (pax.SparseMap || !pax.SparseOffsets.empty()) {
            // Formats 0.1 (one list) and 0.0 (one record per number).
            e.Sparse = true;
            e.RealSize = clampSize(pax.SparseSize.value_or(0));
            std::vector<std::int64_t> numbers;
            if (pax.SparseMap) {
                std::string_view s = *pax.SparseMap;
                while (!s.empty() && numbers.size() < 2 * kMaxRegions) {
                    const auto comma = s.find(',');
                    std::int64_t v = 0;
                    if (!parseDecimal(s.substr(0, comma), v) || v < 0) return Status::Damaged;
                    numbers.push_back(v);
                    s = comma == std::string_view::npos ? std::string_view() : s.substr(comma + 1);
                }
            } else {
                if (pax.SparseOffsets.size() != pax.SparseSizes.size()) return Status::Damaged;
                for (std::size_t i = 0; i < pax.SparseOffsets.size(); ++i) {
                    numbers.push_back(pax.SparseOffsets[i]);
                    numbers.push_back(pax.SparseSizes[i]);
                }
            }
            if (numbers.size() % 2) return Status::Damaged;
            for (std::size_t i = 0; i < numbers.size(); i += 2)
                e.Regions.push_back({numbers[i], numbers[i + 1]});
            e.DataPos = dataStart;
            e.Size = sizeField;
        } else {
            e.DataPos = dataStart;
            e.Size = sizeField;
            e.RealSize = sizeField;
        }
        if (e.Sparse && !regionsHoldTogether(e)) return Status::Damaged;
        // A folder has no data, whatever its size field says (GNU's dump
        // folders list their contents).
        e.NextPos = e.IsFolder() && type != 'D' ? dataStart : dataStart + roundUp(sizeField);
        if (e.IsFolder()) e.Size = e.RealSize = 0;
        return Status::Ok;
    }
}

namespace {
constexpr fmt::MethodInfo kMethods[] = {{0, "Stored", fmt::Codec::Stored, 0}};
}

std::span<const fmt::MethodInfo> methods() {
    return kMethods;
}

std::string methodName(std::uint32_t code) {
    const fmt::MethodInfo* m = fmt::findMethod(kMethods, code);
    return m ? m->Name : "Unknown";
}

} // namespace tar
