// Error codes of the archive components and their fixed English texts.
#pragma once

#include <string>

#include "archive/core/Rtl.h"

namespace err {
enum : int {
    FileReadOnly = 25102,
    FileHidden = 25103,
    FileSysFile = 25104,
    FileDirectory = 25105,
    FileVolumeID = 25106,
    InvalidFileAttribute = 25107,
    BadFileHeader = 25108,
    BadBlock = 25109,
    BadHuffmanCode = 25110,
    InvalidCode = 25111,
    InvalidCommentHeader = 25112,
    IncorrectBits = 25113,
    WriteError = 25114,
    CloseError = 25115,
    IncompleteCodeSet = 25116,
    CreateDirError = 25117,
    CrcError = 25118,
    InvalidDecodeTree = 25119,
    InvalidDirectory = 25120,
    InvalidDirectoryDefault = 25121,
    DiskFull = 25125,
    DeleteError = 25128,
    ExecFailed = 25129,
    FileNotFound = 25132,
    UnknownFlags = 25133,
    OpenError = 25134,
    ReadError = 25135,
    HeaderCrcError = 25136,
    HeaderIdError = 25137,
    IllegalSearchText = 25138,
    UnsupportedArcType = 25139,
    InvalidFileName = 25140,
    BadLengths = 25141,
    InconsistentLocalHeader = 25145,
    LzxNotSupported = 25148,
    MaxVolumes = 25150,
    OutOfMemory = 25153,
    NoMemoryStream = 25155,
    NoFileStream = 25156,
    NoCentralHeader = 25157,
    MultiPartGzip = 25162,
    TooManyNestedDirs = 25163,
    EventNotAssigned = 25170,
    OpenQuote = 25180,
    OpenParen = 25181,
    PasswordProtected = 25190,
    SeekError = 25191,
    AmbiguousTree = 25192,
    NoDesktopFolder = 25193,
    SpecialFolderError = 25194,
    ShellAllocatorError = 25195,
    StackOverflow = 25196,
    StreamError = 25197,
    StreamingNotSupported = 25198,
    UnsupportedMethod = 25200,
    UnknownFileType = 25202,
    UnsupportedVersion = 25204,
    UpdateError = 25210,
    UserAborted = 25300,
    VersionError = 25302,
    RequiresWin32 = 25350,
    RequiresUpdate = 25351,
    CabFirstDisk = 25901,
    CabPrevVolume = 25902,
    CabNextVolume = 25903,
    CabWrongSet = 25904,
    InvalidPassword = 26517,
    PasswordFailed = 26522,
    SkippedFile = 26900,
    NothingToDo = 26999,
};
} // namespace err

// The text of an error code; empty for an unknown code.
std::string ErrorMessage(int code);
// The text of another string resource of the family (file-type filters,
// ids 26000 to 26010); empty when absent.
std::string ArcStringResource(int id);

// The family's internal exception; its message is the code's text.
class E_RAISE : public Exception {
public:
    explicit E_RAISE(const std::string& msg, int code = 0) : Exception(msg), Code(code) {}
    int Code;
};
