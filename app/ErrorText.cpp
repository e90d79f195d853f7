#include "app/ErrorText.h"

#include "archive/core/Errors.h"

namespace app {

QString componentErrorText(const QString& fileName, const QString& volumeId, int code) {
    const QString text = QString::fromStdString(ErrorMessage(code));
    const QString code_ = QString::number(code);
    if (code >= 25100 && code <= 25350)
        return fileName + "\r\r" + "Error#: " + code_ + "\r\r" + "Error: " + text + "\r\r" +
               "OnError event...";
    if (code >= 25901 && code <= 25903)
        return "Message#: " + code_ + "\r\r" + "Message: " + text + "\r\r" +
               "Insert disk containing file: " + fileName + "\r\r" + "Volume ID:" + volumeId +
               "\r\r" + "OnError event...";
    if (code == 25904) return text + "\r\r" + "OnError event...";
    if (code >= 26500 && code <= 26522)
        return fileName + "\r\r" + "General Message: " + code_ + "\r\r" + "Messge: " + text +
               "\r\r" + "OnError event...";
    return {};
}

} // namespace app
