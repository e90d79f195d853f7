#include "desktop/VisibleText.h"

namespace desk {

QString visibleText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20)
            out += QChar(char16_t(0x2400 + u)); // the Control Pictures block
        else if (u == 0x7F)
            out += QChar(char16_t(0x2421));
        else if (u >= 0x80 && u <= 0x9F)
            out += QChar(char16_t(0xFFFD));
        else if (u == 0x2028 || u == 0x2029)
            out += QChar(char16_t(0x21B5));
        else
            out += c;
    }
    return out;
}

QString visibleText(const std::string& utf8) {
    return visibleText(QString::fromStdString(utf8));
}

} // namespace desk
