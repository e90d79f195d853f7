// AES-encrypted ZIP members under hostile input: the fuzzer's bytes are
// the member's plain data for one of the methods of today's tools
// (Deflate64, bzip2, LZMA, Zstandard, xz, Deflate, stored), encrypted with
// the program's own AES side so that the extractor gets past the password
// and meets the data; the first byte chooses method, key strength, AE
// version, stated size and whether the authentication code or the
// password verifier is spoilt.
#include <vector>

#include "archive/extract/UnZIP.h"
#include "archive/extract/ZipAes.h"
#include "archive/format/ZipFormat.h"
#include "fuzz/ExtractorFuzz.h"

namespace {

void put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    static const std::uint16_t kMethods[8] = {0, 8, 9, 12, 14, 93, 95, 14};
    const std::uint8_t pick = data[0], more = data[1];
    const std::uint16_t method = kMethods[pick & 7];
    const std::uint8_t strength = static_cast<std::uint8_t>(1 + ((pick >> 3) & 3) % 3);
    const std::uint16_t version = (pick & 0x20) ? 2 : 1;
    const std::uint16_t flags = 1 | ((pick & 0x40) ? 2 : 0); // encrypted; LZMA end marker
    std::vector<std::uint8_t> body(data + 2, data + size);

    zipaes::Encrypter enc;
    std::vector<std::uint8_t> member(zipaes::headerSize(strength));
    if (!enc.start("a", strength, member.data())) return 0;
    if (more & 1) member.back() ^= 0x5A; // a wrong verifier
    enc.encrypt(body.data(), body.size());
    member.insert(member.end(), body.begin(), body.end());
    std::uint8_t code[zipaes::kAuthCodeSize];
    enc.finish(code);
    if (more & 2) code[0] ^= 1; // a failed authentication
    member.insert(member.end(), code, code + sizeof code);
    const std::uint32_t unpacked = (more & 4) ? static_cast<std::uint32_t>(size * (more >> 3))
                                              : static_cast<std::uint32_t>(size);

    const std::string name = "m.bin";
    std::vector<std::uint8_t> zip;
    std::vector<std::uint8_t> extra;
    put16(extra, zip::kAesExtraId);
    put16(extra, 7);
    put16(extra, version);
    extra.push_back('A');
    extra.push_back('E');
    extra.push_back(strength);
    put16(extra, method);
    auto header = [&](bool central) {
        put32(zip, central ? zip::kCentralSig : zip::kLocalSig);
        if (central) put16(zip, 20);
        put16(zip, 51);
        put16(zip, flags);
        put16(zip, zip::kMethodAes);
        put32(zip, 0);
        put32(zip, 0); // CRC: checked only with AE-1, where it then fails
        put32(zip, static_cast<std::uint32_t>(member.size()));
        put32(zip, unpacked);
        put16(zip, static_cast<std::uint32_t>(name.size()));
        put16(zip, static_cast<std::uint32_t>(extra.size()));
        if (central) {
            put16(zip, 0);
            put16(zip, 0);
            put16(zip, 0);
            put32(zip, 0x20);
            put32(zip, 0);
        }
        zip.insert(zip.end(), name.begin(), name.end());
        zip.insert(zip.end(), extra.begin(), extra.end());
    };
    header(false);
    zip.insert(zip.end(), member.begin(), member.end());
    const std::size_t dir = zip.size();
    header(true);
    const std::size_t dirSize = zip.size() - dir;
    put32(zip, zip::kEndSig);
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, 1);
    put16(zip, 1);
    put32(zip, static_cast<std::uint32_t>(dirSize));
    put32(zip, static_cast<std::uint32_t>(dir));
    put16(zip, 0);
    fuzzExtract<TUnZIP>(zip.data(), zip.size(), "in.zip");
    return 0;
}
