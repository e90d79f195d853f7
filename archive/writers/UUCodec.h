// UUEncode, XXEncode and Base64 text: the line layout, the block encoder
// and the line decoder that the text encoder component streams files
// through.  Nothing here touches a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace uucodec {

enum class Scheme : std::uint8_t { UU, XX, Base64 };

// Data bytes that one full line carries.
constexpr std::size_t lineBytes(Scheme s) {
    return s == Scheme::Base64 ? 57 : 45;
}

// The 64 characters of the scheme's alphabet, indexed by a 6-bit value.
const char* alphabet(Scheme s);

struct Layout {
    Scheme scheme = Scheme::UU;
    bool headers = true;
    bool crlf = false;
};

// The "begin" line with its line end.  The mode is written as at least four
// decimal digits (644 gives 0644); control characters in the name become
// '_' so that a name cannot break the text into extra lines.
std::string headerLine(const Layout& l, unsigned fileMode, const std::string& name);

// Characters of the whole text for dataSize bytes, given the header line's
// length (0 without headers).
std::uint64_t textSize(const Layout& l, std::uint64_t dataSize, std::size_t headerSize);
// Characters of `lines` full lines.
std::size_t linesSize(const Layout& l, std::size_t lines);
// Room that encodeTail needs at most.
constexpr std::size_t kTailCapacity = 128;

// Encodes `lines` full lines (lines * lineBytes bytes); returns the
// characters written.
std::size_t encodeLines(const Layout& l, const std::uint8_t* in, std::size_t lines,
                        std::uint8_t* out);
// Encodes the last line (n < lineBytes bytes) and the trailer.  uuencode
// and xxencode write the last line with its length character, its last
// group cut to the characters that carry data, and end the data with a
// line of length zero; Base64 writes the last line only when bytes remain
// and pads it with '='.  The trailer is "end" (uuencode, xxencode) or
// "====" (Base64) with headers, an empty line without.
std::size_t encodeTail(const Layout& l, const std::uint8_t* in, std::size_t n, std::uint8_t* out);

// Decodes text line by line.  Lines end with LF, optionally preceded by CR.
// uuencode and xxencode lines are read by their length character (extra
// characters are ignored, characters missing at the end count as zero);
// Base64 is one stream across lines, padded or not.  With headers, text in
// front of the "begin" line is skipped and a missing trailer is an error.
class Decoder {
public:
    Decoder(Scheme scheme, bool headers);

    // Takes text from p.  Unless `last` says that no more text follows, only
    // whole lines are consumed; the caller offers the rest again with more
    // text behind it.  Once more than kMaxHold bytes are offered, something
    // is always consumed; how the text is cut into pieces never changes the
    // result.  Decoded bytes are appended to out.  Returns the bytes
    // consumed; stops after the trailer and at the first error.
    std::size_t feed(const std::uint8_t* p, std::size_t n, bool last,
                     std::vector<std::uint8_t>& out);
    static constexpr std::size_t kMaxHold = 4096;

    bool headerSeen() const { return headerSeen_; }
    bool done() const { return state_ == State::Done; }
    bool failed() const { return state_ == State::Failed; }
    // The rest of the "begin" line after the mode, without CR, LF and '"'.
    const std::string& name() const { return name_; }
    // Permission bits of the "begin" line; -1 when the mode is not octal.
    int mode() const { return mode_; }
    const std::string& error() const { return error_; }

private:
    enum class State { Header, Data, Done, Failed };

    void fail(const std::string& what);
    void headerLine(const std::uint8_t* s, std::size_t len);
    bool trailerLine(const std::uint8_t* s, std::size_t len) const;
    void trailer(std::vector<std::uint8_t>& out);
    void lineUU(const std::uint8_t* s, std::size_t len, std::vector<std::uint8_t>& out);
    void stream64(const std::uint8_t* s, std::size_t len, std::vector<std::uint8_t>& out);
    void finish64(std::vector<std::uint8_t>& out);

    Scheme scheme_;
    bool headers_;
    State state_;
    bool headerSeen_ = false;
    bool skipToEol_ = false; // the rest of an over-long line is ignored
    bool midLine_ = false;   // a Base64 line continues from the last call
    std::uint64_t line_ = 1;
    std::string name_;
    int mode_ = -1;
    std::string error_;
    // Base64 quantum carried across lines.
    std::uint32_t acc_ = 0;
    int accN_ = 0;
};

// Finds the first "begin" line in text and tells which encoding follows it;
// uuencode and xxencode are told apart by how well their lines fit.  False
// when there is no "begin" line.
bool detectScheme(const std::uint8_t* p, std::size_t n, Scheme& scheme);

} // namespace uucodec
