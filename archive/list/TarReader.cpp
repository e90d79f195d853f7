// TAR directory: 512-byte header blocks, each followed by its data rounded
// up to whole blocks.  Long names come from the ustar prefix, from GNU 'L'
// entries and from pax 'path' records.
#include <algorithm>
#include <cstdint>

#include "archive/list/DirectoryReader.h"

namespace {

constexpr std::int64_t kBlock = 512;
// Long names and pax records larger than this are not names but damage.
constexpr std::int64_t kMaxMetaSize = 1 << 20;

// Every '0'..'7' counts as a digit, anything else is skipped; a leading
// byte with the high bit set marks the base-256 form of large numbers.
std::int64_t tarNumber(const std::uint8_t* p, std::size_t n) {
    if (n && (p[0] & 0x80)) {
        if (p[0] & 0x40) return -1; // negative
        std::uint64_t v = p[0] & 0x3F;
        for (std::size_t i = 1; i < n; ++i) {
            if (v >> 55) return -1;
            v = v << 8 | p[i];
        }
        return static_cast<std::int64_t>(v);
    }
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i)
        if (p[i] >= '0' && p[i] <= '7') {
            if (v >> 60) return -1;
            v = v * 8 + (p[i] - '0');
        }
    return static_cast<std::int64_t>(v);
}

std::string field(const std::uint8_t* p, std::size_t n) {
    const auto* c = reinterpret_cast<const char*>(p);
    return std::string(c, std::find(c, c + n, '\0'));
}

// Blanks and control characters around a name are not part of it.
std::string trimmed(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

class TarReader : public DirectoryReader {
public:
    using DirectoryReader::DirectoryReader;

    void prepare() override { L.HeaderSize = kBlock; }

    void headerStep() override {
        const std::uint8_t* h = L.Header().data();
        const std::int64_t pos = L.CurrentPos - 1;
        std::string name = trimmed(field(h, 100));
        if (name.empty()) {
            L.EndWalk();
            return;
        }
        std::int64_t size = tarNumber(h + 124, 12);
        size = size < 0 ? 0 : statedSize(static_cast<std::uint64_t>(size));
        const char type = static_cast<char>(h[156]);
        const bool ustar = std::equal(h + 257, h + 262, "ustar");

        if (type == 'L' || type == 'x') {
            // Metadata for the next header.
            std::string data;
            if (size <= kMaxMetaSize && size <= L.ArchiveSize) {
                data.resize(static_cast<std::size_t>(size));
                if (!L.ReadBytes(pos + kBlock, data.data(), data.size())) data.clear();
            }
            if (type == 'L')
                longName_ = field(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
            else
                readPax(data);
            advance(pos, size);
            return;
        }

        if (!longName_.empty()) {
            name = longName_;
        } else if (ustar && h[345]) {
            name = field(h + 345, 155) + "/" + name;
        }
        if (paxSize_ >= 0) size = statedSize(static_cast<std::uint64_t>(paxSize_));
        longName_.clear();
        paxSize_ = -1;
        advance(pos, size);

        L.FileName = TArcLister::StoredName(name);
        if (!(type == '\0' || type == '0' || type == '1')) return;
        if (!L.Shown(L.FileName)) return;
        L.CountMember(size, size);
        L.PackedSize = L.UnpackedSize = size;
        L.DateTime = plat::unixToDateTime(tarNumber(h + 136, 12));
        L.CRC = static_cast<std::uint32_t>(tarNumber(h + 148, 8));
        L.Method = 0;
        L.MethodName = "Stored";
        L.Ratio = 0;
        L.ReportMember(pos);
    }

private:
    void advance(std::int64_t pos, std::int64_t size) {
        // Past the end of the file is as far as the walk can go.
        size = std::min(size, L.ArchiveSize);
        const std::int64_t blocks = (size + kBlock - 1) / kBlock;
        L.ReadPos = pos + kBlock + blocks * kBlock;
    }

    // Records are "LENGTH KEY=VALUE\n"; only path and size matter here.
    void readPax(const std::string& data) {
        std::size_t at = 0;
        while (at < data.size()) {
            std::size_t sp = data.find(' ', at);
            if (sp == std::string::npos) break;
            std::size_t len = 0;
            for (std::size_t i = at; i < sp; ++i) {
                if (data[i] < '0' || data[i] > '9' || len > data.size()) return;
                len = len * 10 + static_cast<std::size_t>(data[i] - '0');
            }
            if (len <= sp - at || at + len > data.size()) return;
            std::string record = data.substr(sp + 1, at + len - sp - 1);
            if (!record.empty() && record.back() == '\n') record.pop_back();
            auto eq = record.find('=');
            if (eq != std::string::npos) {
                std::string key = record.substr(0, eq), value = record.substr(eq + 1);
                if (key == "path") {
                    longName_ = value;
                } else if (key == "size") {
                    std::int64_t v = 0;
                    bool ok = !value.empty();
                    for (char c : value) {
                        if (c < '0' || c > '9' || v > (INT64_MAX - 9) / 10) {
                            ok = false;
                            break;
                        }
                        v = v * 10 + (c - '0');
                    }
                    if (ok) paxSize_ = v;
                }
            }
            at += len;
        }
    }

    std::string longName_;
    std::int64_t paxSize_ = -1;
};

} // namespace

void registerTarReader(DirectoryReaderTable& table) {
    table.add({atTAR},
              [](TArcLister& l) { return std::unique_ptr<DirectoryReader>(new TarReader(l)); });
}
