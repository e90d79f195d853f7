#include <cstdio>

#include "cli/Verb.h"

namespace cli {

std::string printable(std::string_view s, bool keepLineBreaks) {
    std::string out;
    out.reserve(s.size());
    auto hex = [&out](unsigned v) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02X", v & 0xFF);
        out += buf;
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        switch (c) {
        case '\\':
            out += "\\\\";
            continue;
        case '\n':
            out += keepLineBreaks ? "\n" : "\\n";
            continue;
        case '\t':
            out += keepLineBreaks ? "\t" : "\\t";
            continue;
        case '\r':
            out += "\\r";
            continue;
        case 0x1B:
            out += "\\e";
            continue;
        default:
            break;
        }
        if (c < 0x20 || c == 0x7F) {
            hex(c);
        } else if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(s[i + 1]) <= 0x9F) {
            // The C1 controls (U+0080 to U+009F): some terminals act on them.
            hex(c);
            hex(static_cast<unsigned char>(s[++i]));
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace cli
