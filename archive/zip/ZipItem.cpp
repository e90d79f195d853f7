#include "archive/zip/ZipItem.h"

#include "platform/Utf.h"

void TZlZipItem::SetFileName(const std::string& Value) {
    rec_.FileName = Value;
    bool ascii = true;
    for (unsigned char c : Value)
        if (c >= 0x80) ascii = false;
    if (!ascii && plat::isValidUtf8(Value))
        rec_.GeneralPurposeBitFlag |= zip::kFlagUtf8;
    else
        rec_.GeneralPurposeBitFlag &= static_cast<std::uint16_t>(~zip::kFlagUtf8);
    if (!rec_.ExtraField.empty())
        rec_.ExtraField = zip::withoutExtraBlocks(rec_.ExtraField, {zip::kUnicodePathExtraId});
}

int TZlZipItem::DictionarySize() const {
    if (rec_.CompressionMethod != 6) return 0;
    return (rec_.GeneralPurposeBitFlag & 2) ? 2 : 1;
}

int TZlZipItem::ShannonFanoTrees() const {
    if (rec_.CompressionMethod != 6) return 0;
    return (rec_.GeneralPurposeBitFlag & 4) ? 3 : 2;
}
