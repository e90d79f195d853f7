// The self-extractor join: a stub program followed by a ZIP archive, every
// offset of the archive's directory moved by the stub's length.  The
// members' data is copied unchanged.
#pragma once

#include "archive/zip/ZlStreams.h"

// Writes Stub then Source to Target.  Raises EZlZipInvalidStub when the
// stub does not begin with "MZ", EZlZipInvalid when Source does not begin
// with "PK" or has no directory where its end record says (a disk of a
// spanned set, too); stream errors pass through.
void ZlMakeSelfExtractor(TZlStream& Stub, TZlStream& Source, TZlStream& Target);
