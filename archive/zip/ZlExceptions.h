// The ZIP library's exceptions.  Each carries as ErrorCode the number of
// its message in the library's message table, and that message as text.
#pragma once

#include <string>

#include "archive/core/Rtl.h"

class EZlException : public Exception {
public:
    // The text is message `code` of the table.
    explicit EZlException(int code);
    EZlException(int code, const std::string& text);
    int ErrorCode;
};

class EZlZipException : public EZlException {
public:
    using EZlException::EZlException;
};

// Message `No` with its one %d or %s replaced by arg.
std::string ZlFormat(int No, const std::string& arg);

#define OLMEK_ZL_EXCEPTION(Name, Base, No)                                                         \
    class Name : public Base {                                                                     \
    public:                                                                                        \
        static constexpr int Code = No;                                                            \
        Name() : Base(No) {}                                                                       \
        explicit Name(const std::string& text) : Base(No, text) {}                                 \
    };

OLMEK_ZL_EXCEPTION(EZlBadStream, EZlException, 21)
OLMEK_ZL_EXCEPTION(EZlFileNotFound, EZlException, 25)
OLMEK_ZL_EXCEPTION(EZlNoArchive, EZlException, 27)
OLMEK_ZL_EXCEPTION(EZlUserAbort, EZlException, 9)
OLMEK_ZL_EXCEPTION(EZlNoSuchDirectory, EZlException, 19)

OLMEK_ZL_EXCEPTION(EZlZipBadSpanStream, EZlZipException, 13)
OLMEK_ZL_EXCEPTION(EZlZipBadCRC, EZlZipException, 23)
OLMEK_ZL_EXCEPTION(EZlZipInflateBlock, EZlZipException, 20)
OLMEK_ZL_EXCEPTION(EZlZipInvalid, EZlZipException, 28)
OLMEK_ZL_EXCEPTION(EZlZipInvalidFactor, EZlZipException, 6)
OLMEK_ZL_EXCEPTION(EZlZipInvalidMethod, EZlZipException, 2)
OLMEK_ZL_EXCEPTION(EZlZipInvalidPassword, EZlZipException, 4)
OLMEK_ZL_EXCEPTION(EZlZipInvalidStub, EZlZipException, 24)
OLMEK_ZL_EXCEPTION(EZlZipNoExtraction, EZlZipException, 3)
OLMEK_ZL_EXCEPTION(EZlZipNoInsertion, EZlZipException, 5)
OLMEK_ZL_EXCEPTION(EZlZipSpanOverwrite, EZlZipException, 15)
OLMEK_ZL_EXCEPTION(EZlZipStreamFull, EZlZipException, 18)
OLMEK_ZL_EXCEPTION(EZlZipUnsupported, EZlZipException, 8)
OLMEK_ZL_EXCEPTION(EZlZipVersion, EZlZipException, 1)

// The paged scratch stream's failures; their texts take an argument
// (ZlFormat).
OLMEK_ZL_EXCEPTION(EZlVMSInvalidOrigin, EZlZipException, 201)
OLMEK_ZL_EXCEPTION(EZlVMSErrorOpenSwap, EZlZipException, 202)
OLMEK_ZL_EXCEPTION(EZlVMSSeekFail, EZlZipException, 203)
OLMEK_ZL_EXCEPTION(EZlVMSReadFail, EZlZipException, 204)
OLMEK_ZL_EXCEPTION(EZlVMSWriteFail, EZlZipException, 205)

#undef OLMEK_ZL_EXCEPTION
