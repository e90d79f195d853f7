// Member insertion: compresses one disk file into a ZIP member's data and
// fills the member's record.  This is the body of the archive's insertion
// hook; the archive passes the settings it holds.
#pragma once

#include <string>

#include "archive/zip/ZipItem.h"
#include "archive/zip/ZlStreams.h"
#include "archive/zip/ZlTypes.h"

struct TZlInsertSettings {
    // Relative disk names are taken from here (when set).
    std::string BaseDirectory;
    // Not empty: the member is encrypted, as Encryption says.
    std::string Password;
    TZlZipEncryption Encryption = zeTraditional;
    TZlZipSupportedMethod CompressionMethodToUse = smDeflated;
    TZlZipDeflationOption DeflationOption = doNormal;
    // Progress within the member.
    TZlProgressEvent OnProgress;
};

// Writes the member's data (behind its encryption header when encrypting,
// and before the AES authentication code) to OutStream from its position,
// and sets the item's flags, attributes, time, versions, method, CRC-32,
// sizes and AES extra block.  AES members are AE-2: method 99, the real
// method in the extra block, CRC-32 0 (the authentication code checks the
// data instead).  Raises EFOpenError when the
// file cannot be opened, EZlUserAbort on Abort, EZlZipUnsupported for an
// unknown method, EZlZipBadCRC when an encrypted file changed between its
// two readings; stream errors pass through.  The file is closed and the
// item's cipher released in every case.
void ZlInsertHelper(const TZlInsertSettings& Settings, TZlZipItem& Item, TZlStream& OutStream);
