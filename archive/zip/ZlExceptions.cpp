#include "archive/zip/ZlExceptions.h"

#include "archive/core/StringResource.h"

EZlException::EZlException(int code) : EZlException(code, ZlMessage(code)) {}

EZlException::EZlException(int code, const std::string& text) : Exception(text), ErrorCode(code) {}

std::string ZlFormat(int No, const std::string& arg) {
    std::string fmt = ZlMessage(No);
    for (std::size_t i = 0; i + 1 < fmt.size(); ++i)
        if (fmt[i] == '%' && (fmt[i + 1] == 'd' || fmt[i + 1] == 's'))
            return fmt.substr(0, i) + arg + fmt.substr(i + 2);
    return fmt;
}
