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
    // Not empty: the member is encrypted.
    std::string Password;
    TZlZipSupportedMethod CompressionMethodToUse = smDeflated;
    TZlZipDeflationOption DeflationOption = doNormal;
    // Progress within the member.
    TZlProgressEvent OnProgress;
};

// Writes the member's data (behind its encryption header when encrypting)
// to OutStream from its position, and sets the item's flags, attributes,
// time, versions, method, CRC-32 and sizes.  Raises EFOpenError when the
// file cannot be opened, EZlUserAbort on Abort, EZlZipUnsupported for an
// unknown method, EZlZipBadCRC when an encrypted file changed between its
// two readings; stream errors pass through.  The file is closed and the
// item's cipher released in every case.
void ZlInsertHelper(const TZlInsertSettings& Settings, TZlZipItem& Item, TZlStream& OutStream);
