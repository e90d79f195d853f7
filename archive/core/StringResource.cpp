#include "archive/core/StringResource.h"

#include "platform/Endian.h"
#include "platform/Utf.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

void put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(x >> (8 * i));
}

std::string format1(const std::string& fmt, const std::string& arg) {
    std::string out;
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] == '%' && i + 1 < fmt.size() && (fmt[i + 1] == 's' || fmt[i + 1] == 'd')) {
            out += arg;
            ++i;
        } else {
            out.push_back(fmt[i]);
        }
    }
    return out;
}

const std::vector<std::pair<int, std::string>>& srmgrTexts() {
    static const std::vector<std::pair<int, std::string>> t = {
        {1, "String not found: %d"},          {2, "Cannot lock resource"},
        {3, "String resource not found: %s"}, {4, "Unable to open string resource: %s"},
        {5, "Invalid TPString resource"},
    };
    return t;
}

const std::vector<std::pair<int, std::string>>& zlTexts() {
    static const std::vector<std::pair<int, std::string>> t = {
        {1, "Cannot extract file - newer version required"},
        {2, "Cannot extract file - unsupported compression method"},
        {3, "Cannot extract file - no extraction support provided"},
        {4, "Cannot extract file - invalid password"},
        {5, "Cannot insert file - no insertion support provided"},
        {6, "Invalid Reduce Factor"},
        {7, "Cannot insert file - duplicates stored name"},
        {8, "Cannot insert file - unsupported compression method"},
        {9, "Process aborted by user"},
        {10, "Archive is busy - cannot process new requests"},
        {11, "Insert floppy"},
        {12, "Insert the last disk in the spanned disk set"},
        {13, "Spanned archives must be opened as file streams"},
        {14, "Insert disk number %d of the spanned disk set"},
        {15, "Cannot update an existing spanned disk set"},
        {16, "Cannot make a self-extracting spanned disk set"},
        {17, "Insert a blank floppy disk"},
        {18, "Stream write error"},
        {19, "Directory does not exist"},
        {20, "Cannot inflate block"},
        {21, "Cannot truncate this type of stream"},
        {22, "Error truncating Zip File"},
        {23, "Failed CRC Check"},
        {24, "Stub must be an executable"},
        {25, "File not found"},
        {26, "Invalid Local File Header entry"},
        {27, "Archive does not exist - FileName is blank"},
        {28, "Invalid file - not a PKZip file"},
        {100, "Version %s"},
        {101, "Stored"},
        {102, "Shrunk"},
        {103, "Reduced-1"},
        {104, "Reduced-2"},
        {105, "Reduced-3"},
        {106, "Reduced-4"},
        {107, "Imploded"},
        {108, "Tokenized"},
        {109, "Deflated"},
        {110, "Enhanced Deflated"},
        {111, "DCL Imploded"},
        {112, "Unknown"},
        {113, "File name"},
        {114, "Path"},
        {115, "Date"},
        {116, "Time"},
        {117, "Size"},
        {118, "Packed"},
        {119, "Ratio"},
        {120, "Method"},
        {121, "Attributes"},
        {122, "CRC-32"},
        {123, "Encrypted"},
        {124, "Comment"},
        {125, "Version made by"},
        {126, "Version needed"},
        {127, "Disk number"},
        {128, "Internal attributes"},
        {129, "External attributes"},
        {130, "Offset"},
        {131, "Open archive"},
        {132, "Save archive"},
        {133, "Add files"},
        {134, "Extract to"},
        {135, "Zip files (*.zip)|*.zip"},
        {136, "Self-extracting archives (*.exe)|*.exe"},
        {137, "All files (*.*)|*.*"},
        {138, "Select folder"},
        {139, "Overwrite"},
        {140, "Overwrite %s?"},
        {141, "Password"},
        {142, "Enter password"},
        {200, "VMS: request to read too many bytes [%d]"},
        {201, "VMS: invalid origin %d, should be 0, 1, 2"},
        {202, "VMS: Cannot open swap file %s"},
        {203, "VMS: Failed to seek in swap file %s"},
        {204, "VMS: Failed to read %d bytes from swap file %s"},
        {205, "VMS: Failed to write %d bytes to swap file %s"},
        {206, "VMS: request to write too many bytes [%d]"},
    };
    return t;
}

} // namespace

const std::vector<std::uint8_t>* TResourceModule::Find(const std::string& name) const {
    auto it = RawData.find(name);
    return it == RawData.end() ? nullptr : &it->second;
}

std::vector<std::uint8_t> BuildStr0(const std::vector<std::pair<int, std::string>>& entries) {
    auto sorted = entries;
    std::sort(sorted.begin(), sorted.end(), [](auto& a, auto& b) { return a.first < b.first; });
    std::size_t n = sorted.size();
    std::vector<std::uint8_t> out(8 + 12 * n);
    std::memcpy(out.data(), "STR0", 4);
    put32(out, 4, static_cast<std::uint32_t>(n));
    for (std::size_t i = 0; i < n; ++i) {
        std::u16string u = plat::utf8ToUtf16(sorted[i].second);
        std::size_t at = 8 + 12 * i;
        put32(out, at, static_cast<std::uint32_t>(sorted[i].first));
        put32(out, at + 4, static_cast<std::uint32_t>(out.size()));
        put32(out, at + 8, static_cast<std::uint32_t>(u.size()));
        for (char16_t c : u) {
            out.push_back(static_cast<std::uint8_t>(c & 0xFF));
            out.push_back(static_cast<std::uint8_t>(c >> 8));
        }
    }
    return out;
}

const TResourceModule& HInstance() {
    static const TResourceModule module = [] {
        TResourceModule m;
        m.RawData["SRMGR_STRINGS"] = BuildStr0(srmgrTexts());
        m.RawData["ZL_STRINGS_ENGLISH"] = BuildStr0(zlTexts());
        return m;
    }();
    return module;
}

TStringResource::TStringResource(const TResourceModule* Instance, const std::string& ResName)
    : Instance_(Instance), ResName_(ResName.substr(0, 255)) {}

TStringResource::~TStringResource() {
    Locked_ = nullptr;
}

void TStringResource::Open() {
    const std::vector<std::uint8_t>* data = Instance_ ? Instance_->Find(ResName_) : nullptr;
    if (!data) throw EStringResourceError(format1(SrMgrString(3), ResName_));
    if (data->size() < 8 || std::memcmp(data->data(), "STR0", 4) != 0)
        throw EStringResourceError(SrMgrString(5));
    std::uint64_t n = plat::le32(data->data() + 4);
    if (8 + 12 * n > data->size()) throw EStringResourceError(SrMgrString(5));
    Locked_ = data;
}

bool TStringResource::find(int id, std::u16string& text) {
    if (!Locked_) Open();
    const std::uint8_t* base = Locked_->data();
    std::size_t size = Locked_->size();
    std::int64_t lo = 0, hi = static_cast<std::int64_t>(plat::le32(base + 4)) - 1;
    while (lo <= hi) {
        std::int64_t mid = (lo + hi) / 2;
        const std::uint8_t* e = base + 8 + 12 * mid;
        auto eid = static_cast<std::int32_t>(plat::le32(e));
        if (eid == id) {
            std::uint64_t off = plat::le32(e + 4), len = plat::le32(e + 8);
            if (off + 2 * len > size) return false;
            text.clear();
            for (std::uint64_t k = 0; k < len; ++k)
                text.push_back(
                    static_cast<char16_t>(base[off + 2 * k] | base[off + 2 * k + 1] << 8));
            return true;
        }
        if (eid < id)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return false;
}

std::string TStringResource::GetString(int Id) {
    std::u16string text;
    if (!find(Id, text)) {
        if (RaiseOnMissing) throw EStringResourceError(format1(SrMgrString(1), std::to_string(Id)));
        return {};
    }
    return plat::utf16ToUtf8(text);
}

char* TStringResource::GetString(int Id, char* Buffer, int BufSize) {
    if (!Buffer || BufSize <= 0) return Buffer;
    std::u16string text;
    if (!find(Id, text)) {
        if (RaiseOnMissing) throw EStringResourceError(format1(SrMgrString(1), std::to_string(Id)));
        Buffer[0] = 0;
        return Buffer;
    }
    std::string s = plat::utf16ToUtf8(text);
    while (s.size() + 1 > static_cast<std::size_t>(BufSize) && !text.empty()) {
        text.pop_back();
        s = plat::utf16ToUtf8(text);
    }
    std::memcpy(Buffer, s.data(), s.size());
    Buffer[s.size()] = 0;
    return Buffer;
}

std::string SrMgrString(int Id) {
    static const std::vector<std::uint8_t>* table = HInstance().Find("SRMGR_STRINGS");
    // Read the manager's own table directly: a failure here cannot be worded
    // through itself.
    if (!table) return {};
    std::uint32_t n = plat::le32(table->data() + 4);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint8_t* e = table->data() + 8 + 12 * i;
        if (static_cast<int>(plat::le32(e)) == Id) {
            std::u16string u;
            std::uint32_t off = plat::le32(e + 4), len = plat::le32(e + 8);
            for (std::uint32_t k = 0; k < len; ++k)
                u.push_back(
                    static_cast<char16_t>((*table)[off + 2 * k] | (*table)[off + 2 * k + 1] << 8));
            return plat::utf16ToUtf8(u);
        }
    }
    return {};
}

std::string ZlMessage(int No) {
    static std::unique_ptr<TStringResource> mgr = [] {
        auto r = std::make_unique<TStringResource>(&HInstance(), "ZL_STRINGS_ENGLISH");
        r->Open();
        return r;
    }();
    return mgr->GetString(No);
}
