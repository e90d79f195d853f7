#include "archive/core/Errors.h"
#include "archive/extract/LegacyDecoders.h"

namespace unz {

void CopyStored(MemberInput& in, OutputSink& out) {
    const std::uint8_t* data;
    while (std::size_t n = in.takeBlock(data))
        if (!out.write(data, n)) throw E_RAISE(ErrorMessage(err::WriteError), err::WriteError);
}

} // namespace unz
