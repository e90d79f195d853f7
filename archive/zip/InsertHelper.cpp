#include "archive/zip/InsertHelper.h"

#include <sys/stat.h>

#include <memory>

#include "archive/core/Crc.h"
#include "archive/format/ZipFormat.h"
#include "archive/zip/ZipHelper.h"
#include "archive/zip/ZlExceptions.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"

namespace {

// Host Unix, format version 2.0.
constexpr std::uint16_t kVersionMadeBy = 0x0314;
// The name's UTF-8 flag belongs to the name, not to the data.
constexpr std::uint16_t kUtf8NameFlag = 0x0800;

std::uint8_t methodNumber(TZlZipSupportedMethod m) {
    switch (m) {
    case smStored:
        return 0;
    case smDeflated:
        return 8;
    case smBestMethod:
        return 11;
    }
    return 255;
}

std::uint32_t crcOfStream(TZlStream& s) {
    std::unique_ptr<std::uint8_t[]> buf(new std::uint8_t[1 << 16]);
    std::uint32_t crc = 0xFFFFFFFF;
    while (const std::size_t n = s.Read(buf.get(), 1 << 16)) Crc32Update(buf.get(), n, crc);
    return ~crc;
}

} // namespace

void ZlInsertHelper(const TZlInsertSettings& Settings, TZlZipItem& Item, TZlStream& OutStream) {
    struct ReleaseCipher {
        TZlZipItem& item;
        ~ReleaseCipher() { item.Decoder.reset(); }
    } release{Item};

    Item.SetGeneralPurposeBitFlag(Item.GeneralPurposeBitFlag() & kUtf8NameFlag);
    Item.SetCompressedSize(0);

    // Resolved against the base folder without changing the process's
    // current folder.
    std::string path = Item.DiskFileName;
    if (!Settings.BaseDirectory.empty() && !path.empty() && path[0] != plat::PathDelim)
        path = plat::includeTrailingDelimiter(Settings.BaseDirectory) + path;
    TZlFileStream file(path, fmOpenRead | fmShareDenyWrite);

    // Mode, size and time of the file opened, in one call: the same file
    // whatever happens to its name meanwhile.
    struct stat st {};
    if (::fstat(file.Descriptor(), &st) != 0) {
        st.st_mode = S_IFREG | S_IRUSR | S_IWUSR;
        st.st_size = static_cast<off_t>(file.Size());
    }
    std::uint32_t dosAttr = plat::faArchive;
    if (!(st.st_mode & S_IWUSR)) dosAttr |= plat::faReadOnly;
    const std::string name = plat::extractFileName(path);
    if (!name.empty() && name[0] == '.') dosAttr |= plat::faHidden;
    Item.SetExternalFileAttributes((static_cast<std::uint32_t>(st.st_mode) & 0xFFFFu) << 16 |
                                   dosAttr);
    Item.SetUncompressedSize(static_cast<std::uint64_t>(st.st_size));
    const std::uint32_t dos = plat::unixToDos(static_cast<std::int64_t>(st.st_mtime));
    Item.SetLastModFileTime(static_cast<std::uint16_t>(dos & 0xFFFF));
    Item.SetLastModFileDate(static_cast<std::uint16_t>(dos >> 16));
    Item.SetVersionMadeBy(kVersionMadeBy);

    const bool encrypting = !Settings.Password.empty();
    const bool aes = encrypting && Settings.Encryption != zeTraditional;
    const std::uint8_t strength = Settings.Encryption == zeAes128 ? 1 : 3;
    if (aes) {
        Item.Decoder = std::make_unique<TZlAesEncoder>(Settings.Password, strength);
        Item.Decoder->WriteEncryptionHeader(OutStream);
    } else if (encrypting) {
        // The header's check byte needs the CRC before the data is written.
        const std::uint32_t crc = crcOfStream(file);
        Item.SetCRC32(crc);
        file.SetPosition(0);
        Item.Decoder = std::make_unique<TZlZDecoder>(Settings.Password, crc);
        Item.Decoder->WriteEncryptionHeader(OutStream);
    }

    TZlZipHelper helper(file, Item.Decoder.get(), OutStream);
    helper.Method = methodNumber(Settings.CompressionMethodToUse);
    helper.DeflationOption = Settings.DeflationOption;
    helper.OnProgress = Settings.OnProgress;
    helper.Execute();
    if (encrypting && !aes && helper.CRC != Item.CRC32()) throw EZlZipBadCRC();
    if (aes) Item.Decoder->WriteEncryptionTrailer(OutStream);

    Item.SetCRC32(aes ? 0 : helper.CRC);
    Item.SetUncompressedSize(helper.BytesIn);
    Item.SetInternalFileAttributes(helper.IsText() ? 1 : 0);
    // A stale AES block would describe data this member no longer has.
    std::string extra = zip::withoutExtraBlocks(Item.ExtraField(), {zip::kAesExtraId});
    if (aes) {
        zip::AesExtra x;
        x.Version = 2;
        x.Strength = strength;
        x.Method = helper.Method;
        extra += zip::aesExtraBlock(x);
        Item.SetCompressionMethod(zip::kMethodAes);
        Item.SetVersionNeededToExtract(51);
    } else {
        Item.SetCompressionMethod(helper.Method);
        Item.SetVersionNeededToExtract(helper.Method == 8 ? 20 : 10);
    }
    Item.SetExtraField(extra);
    if (encrypting) {
        Item.SetCompressedSize(helper.CompressedSize + Item.Decoder->HeaderBytes() +
                               Item.Decoder->TrailerBytes());
        Item.SetGeneralPurposeBitFlag(Item.GeneralPurposeBitFlag() | 1);
    } else {
        Item.SetCompressedSize(helper.CompressedSize);
    }
}
