// GZIP members decoded one after another into one output, each checked
// against its own trailer (the GZIP extractor and the TAR+GZ stream).
#pragma once

#include "archive/extract/Decoder.h"

class Inflater;

namespace dec {

// Decodes the members of a GZIP file from `in`: when `headerFirst`, `in`
// begins with the first member's header, otherwise with its Deflate data
// (the caller read the header).  False when a trailer does not match its
// member's data or a following header cannot be used; decoder errors fail.
bool inflateGzipMembers(Inflater& inf, Input& in, Sink& out, bool headerFirst);

} // namespace dec
