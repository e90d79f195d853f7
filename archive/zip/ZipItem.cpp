#include "archive/zip/ZipItem.h"

int TZlZipItem::DictionarySize() const {
    if (rec_.CompressionMethod != 6) return 0;
    return (rec_.GeneralPurposeBitFlag & 2) ? 2 : 1;
}

int TZlZipItem::ShannonFanoTrees() const {
    if (rec_.CompressionMethod != 6) return 0;
    return (rec_.GeneralPurposeBitFlag & 4) ? 3 : 2;
}
