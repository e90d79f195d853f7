#include "archive/writers/UUCode.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "archive/core/Errors.h"
#include "archive/writers/UUCodec.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"

namespace {

using uucodec::Scheme;

constexpr std::size_t kBlockLines = 4096;
constexpr std::size_t kDecodeBlock = 256 * 1024;

// Output collected in a hidden file beside its target and renamed into
// place by commit(); dropped when the run fails.
class Staged {
public:
    Staged(const std::string& target, unsigned perms) : target_(target), perms_(perms) {
        std::string dir = plat::extractFileDir(target);
        temp_ = plat::tempFileIn(dir.empty() ? "." : dir, ".olmek");
        if (temp_.empty() || !file_.open(temp_, plat::File::Mode::Create)) {
            if (!temp_.empty()) plat::deleteFile(temp_);
            throw EInOutError(err::OpenError, target);
        }
    }
    ~Staged() {
        if (committed_) return;
        file_.close();
        plat::deleteFile(temp_);
    }
    Staged(const Staged&) = delete;
    Staged& operator=(const Staged&) = delete;

    void write(const void* p, std::size_t n) {
        if (n && !file_.write(p, n)) throw EInOutError(err::WriteError, target_);
    }
    void commit() {
        if (!file_.close()) throw EInOutError(err::CloseError, target_);
        plat::setPermissions(temp_, perms_);
        if (!plat::renameFile(temp_, target_)) throw EInOutError(err::WriteError, target_);
        committed_ = true;
    }

private:
    std::string target_, temp_;
    unsigned perms_;
    plat::File file_;
    bool committed_ = false;
};

unsigned newFilePermissions(int mode = 0666) {
    return static_cast<unsigned>(mode) & 0777 & ~plat::creationMask();
}

std::uint16_t percentOf(std::uint64_t done, std::uint64_t total) {
    if (!total) return 0;
    // 100 is kept for the moment the output is in place.
    return static_cast<std::uint16_t>(
        std::min<std::uint64_t>((done * 100 + total / 2) / total, 99));
}

void openInput(plat::File& in, const std::string& name) {
    if (!in.open(name, plat::File::Mode::Read)) throw EInOutError(err::OpenError, name);
}

// Reads until the buffer is full or the file ends.
std::size_t readBlock(plat::File& in, std::uint8_t* buf, std::size_t n, const std::string& name) {
    const std::int64_t got = in.read(buf, n);
    if (got < 0) throw EInOutError(err::ReadError, name);
    return static_cast<std::size_t>(got);
}

} // namespace

TUUCode::TUUCode(TComponent* AOwner) : TComponent(AOwner) {}

std::string TUUCode::About() const {
    return "TUUCode: UUEncode, XXEncode and Base64 text for OLMEK 95";
}

void TUUCode::SetActive(bool Value) {
    if (!Value || Active_) return;
    Active_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{Active_};
    Execute();
}

void TUUCode::report(std::uint16_t percent) {
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    if (OnProgress) OnProgress(this, percent);
}

bool TUUCode::consent(const std::string& target, bool chosen) {
    if (!plat::pathExists(target)) return true;
    if (plat::directoryExists(target)) throw EInOutError(err::FileDirectory, target);
    bool accept = chosen;
    if (OnFileExists) {
        auto stamp = plat::fileModificationTime(target);
        OnFileExists(this, target, stamp ? plat::unixToDateTime(*stamp) : TDateTime(0), accept);
    }
    return accept;
}

bool TUUCode::Execute() {
    if (InputFile.empty()) throw EUUCode("InputFileName is empty");
    const bool decoding =
        Algorithm == uudecode || Algorithm == xxdecode || Algorithm == base64decode;
    if ((!decoding || !Headers) && OutputFile.empty()) throw EUUCode("OutputFileName is empty");
    lastPercent_ = 0xFFFF;
    bool written = decoding ? decode() : Algorithm == filecopy ? copy() : encode();
    if (written) report(100);
    return written;
}

bool TUUCode::copy() {
    plat::File in;
    openInput(in, InputFile);
    if (!consent(OutputFile, true)) return false;
    Staged out(OutputFile, newFilePermissions());
    const std::uint64_t size = static_cast<std::uint64_t>(std::max<std::int64_t>(in.size(), 0));
    // Blocks of at most half a percent, so that every percent is reported.
    std::vector<std::uint8_t> buf(std::clamp<std::size_t>(size / 200, 4096, kDecodeBlock));
    std::uint64_t done = 0;
    report(0);
    for (;;) {
        const std::size_t got = readBlock(in, buf.data(), buf.size(), InputFile);
        out.write(buf.data(), got);
        done += got;
        report(percentOf(done, size));
        if (got < buf.size()) break;
    }
    out.commit();
    return true;
}

bool TUUCode::encode() {
    const Scheme scheme = Algorithm == uuencode   ? Scheme::UU
                          : Algorithm == xxencode ? Scheme::XX
                                                  : Scheme::Base64;
    const uucodec::Layout l{scheme, Headers, UnixCRLF == CRLF};
    plat::File in;
    openInput(in, InputFile);
    const std::string header =
        Headers ? uucodec::headerLine(l, FileMode, plat::extractFileName(InputFile)) : "";
    const std::uint64_t size = static_cast<std::uint64_t>(std::max<std::int64_t>(in.size(), 0));
    const std::uint64_t planned = uucodec::textSize(l, size, header.size());
    if (!consent(OutputFile, true)) return false;
    Staged out(OutputFile, newFilePermissions());

    // Lines are encoded in slices of about half a percent of the text, so
    // that every percent is reported without a check per line.
    const std::size_t lb = uucodec::lineBytes(scheme);
    const std::size_t lineChars = uucodec::linesSize(l, 1);
    const std::size_t slice = static_cast<std::size_t>(
        std::clamp<std::uint64_t>(planned / 200 / lineChars, 1, kBlockLines));
    std::vector<std::uint8_t> src(lb * kBlockLines);
    std::vector<std::uint8_t> text(uucodec::linesSize(l, kBlockLines) + uucodec::kTailCapacity);

    report(0);
    out.write(header.data(), header.size());
    std::uint64_t written = header.size();
    for (;;) {
        const std::size_t got = readBlock(in, src.data(), src.size(), InputFile);
        const std::size_t lines = got / lb;
        std::size_t len = 0;
        for (std::size_t done = 0; done < lines;) {
            const std::size_t k = std::min(slice, lines - done);
            const std::size_t n =
                uucodec::encodeLines(l, src.data() + done * lb, k, text.data() + len);
            len += n;
            written += n;
            done += k;
            report(percentOf(written, planned));
        }
        if (got < src.size()) {
            len += uucodec::encodeTail(l, src.data() + lines * lb, got % lb, text.data() + len);
            out.write(text.data(), len);
            break;
        }
        out.write(text.data(), len);
    }
    out.commit();
    return true;
}

bool TUUCode::decode() {
    const Scheme scheme = Algorithm == uudecode   ? Scheme::UU
                          : Algorithm == xxdecode ? Scheme::XX
                                                  : Scheme::Base64;
    plat::File in;
    openInput(in, InputFile);
    const std::uint64_t size = static_cast<std::uint64_t>(std::max<std::int64_t>(in.size(), 0));
    uucodec::Decoder dec(scheme, Headers);
    std::optional<Staged> out;
    if (!Headers) {
        if (!consent(OutputFile, true)) return false;
        out.emplace(OutputFile, newFilePermissions());
    }

    // The "begin" line names the file: only its last part counts, inside
    // the output folder.
    auto openTarget = [&]() {
        std::string name = dec.name();
        const auto cut = name.find_last_of("/\\");
        if (cut != std::string::npos) name.erase(0, cut + 1);
        if (name.empty()) throw EUUCode("OutputFileName is empty");
        const bool control = std::any_of(name.begin(), name.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        });
        if (name == "." || name == ".." || control)
            throw EUUCode("Invalid file name in the begin line");
        const std::string dir = OutputDir.empty() ? plat::extractFilePath(InputFile) : OutputDir;
        OutputFile = (dir.empty() ? std::string("./") : plat::includeTrailingDelimiter(dir)) + name;
        if (!consent(OutputFile, false)) return false;
        out.emplace(OutputFile, newFilePermissions(dec.mode() >= 0 ? dec.mode() : 0666));
        return true;
    };

    std::vector<std::uint8_t> buf(kDecodeBlock), data;
    data.reserve(kDecodeBlock);
    // Text is offered in slices of about half a percent, for the progress.
    const std::size_t slice = std::max<std::size_t>(256, size / 200);
    std::size_t have = 0;
    std::uint64_t consumed = 0;
    bool eof = false;
    report(0);
    while (!dec.done()) {
        if (!eof) {
            const std::size_t want = buf.size() - have;
            const std::size_t got = readBlock(in, buf.data() + have, want, InputFile);
            have += got;
            eof = got < want;
        }
        std::size_t off = 0;
        do {
            std::size_t n = std::min(have - off, slice);
            std::size_t used = dec.feed(buf.data() + off, n, eof && off + n == have, data);
            if (!used && n < have - off && !dec.failed()) {
                n = have - off;
                used = dec.feed(buf.data() + off, n, eof, data);
            }
            if (dec.failed()) throw EUUCode(dec.error());
            if (!out && dec.headerSeen() && !openTarget()) return false;
            if (!data.empty()) {
                out->write(data.data(), data.size());
                data.clear();
            }
            off += used;
            consumed += used;
            report(percentOf(consumed, size));
            if (!used) break;
        } while (off < have && !dec.done());
        std::copy(buf.begin() + static_cast<std::ptrdiff_t>(off),
                  buf.begin() + static_cast<std::ptrdiff_t>(have), buf.begin());
        have -= off;
        if (eof && !dec.done()) {
            // Everything was offered as the end of the text.
            dec.feed(buf.data(), have, true, data);
            if (dec.failed()) throw EUUCode(dec.error());
            if (!out && dec.headerSeen() && !openTarget()) return false;
            if (!data.empty()) out->write(data.data(), data.size());
            break;
        }
    }
    if (!out) throw EUUCode("No begin line found");
    out->commit();
    return true;
}
