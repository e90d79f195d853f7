#include "archive/core/Errors.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

struct Entry {
    int id;
    const char* text;
};

// Sorted by id.
const Entry kStrings[] = {
    {25102, "File is read-only"},
    {25103, "File is hidden"},
    {25104, "File is a SysFile"},
    {25105, "File is a directory"},
    {25106, "File is a VolumeID"},
    {25107, "Invalid file attribute"},
    {25108, "Bad file header"},
    {25109, "Bad block"},
    {25110, "Bad Huffman code"},
    {25111, "Invalid code encountered"},
    {25112, "Invalid comment header"},
    {25113, "Incorrect number of bits"},
    {25114, "Error writing to file"},
    {25115, "Error closing file"},
    {25116, "Incomplete code set"},
    {25117, "Error creating dir"},
    {25118, "File fails CRC check"},
    {25119, "File contains invalid decode tree"},
    {25120, "Invalid directory"},
    {25121, "Invalid directory... defaulting to current"},
    {25125, "Disk full"},
    {25128, "Error deleting file(s)"},
    {25129, "Command exec failed"},
    {25132, "File not found"},
    {25133, "Warning, unknown flags"},
    {25134, "Error opening file"},
    {25135, "Error reading file or unexpected end of file"},
    {25136, "Header CRC error"},
    {25137, "Header ID error"},
    {25138, "Illegal text for search mode"},
    {25139, "Invalid or unsupported archive type for this operation"},
    {25140, "Invalid file name"},
    {25141, "Bad lengths"},
    {25145, "Inconsistant local header"},
    {25148, "LZX method not supported"},
    {25150, "Maximum volumes 999"},
    {25153, "Out of memory"},
    {25155, "Uninitialized TMemoryStream object"},
    {25156, "Uninitialized TFileStream object"},
    {25157, "No central header. File may be corrupt"},
    {25162, "Multi-Part GZIP files not supported"},
    {25163, "Too many nested dirs"},
    {25170, "Required event not assigned"},
    {25180, "Open quote, but no close quote"},
    {25181, "Open paran, but no close paran"},
    {25190, "Password protected"},
    {25191, "Seek error"},
    {25192, "Ambiguous Shannon-Fano decode tree encountered"},
    {25193, "No desktop folder"},
    {25194, "Error getting SHGetSpecialFolderLocation"},
    {25195, "Error getting Shell memory allocator"},
    {25196, "Stack overflow"},
    {25197, "Stream read/write error"},
    {25198, "Streaming not supported with this archive type"},
    {25200, "Unsupported compression method"},
    {25202, "Unknown file type"},
    {25204, "Unsupported version"},
    {25210, "Error updating archive"},
    {25300, "User Aborted"},
    {25302, "Version error"},
    {25350, "Requires Win32 api"},
    {25351, "Operation requires updated version of the archive components"},
    {25901, "Extraction of this cabinet requires first disk of set"},
    {25902, "Previous volume in set"},
    {25903, "Next volume in set"},
    {25904, "Cabinet does not belong with this set"},
    {26000, "All_files (*.*)|*.*"},
    {26001,
     "ALL Archives "
     "|*.arc;*.arj;*.bh;*.cab;*.exe;*.gz;*.ha;*.lha;*.lzh;*.pak;*.rar;*.tar;*.z;*.zip;*.zoo"},
    {26002, "Executables (*.exe)"},
    {26003, "All_Zips (*.zip,*.exe)|*.zip;*.exe"},
    {26004, "All_GZips (*.gz,*.z)|*.gz;*.z"},
    {26005, "All_Arcs (*.arc,*.exe)|*.arc;*.exe"},
    {26006, "All_Arjs (*.arj,*.exe)|*.arj;*.exe"},
    {26007, "All_LHAs (*.lha,*.lzh)|*.lha;*.lzh"},
    {26008, "All_BlakHole  (*.bh ,*.exe)|*.bh;*.exe"},
    {26009, "TAR (*.tar)|*.tar"},
    {26010, "CAB (*.cab)|*.cab"},
    {26517, "Invalid password"},
    {26522, "Password failed"},
    {26900, "Skipped File"},
    {26999, "Nothing to do"},
};

const char* lookup(int id) {
    auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                               [](const Entry& e, int v) { return e.id < v; });
    if (it == std::end(kStrings) || it->id != id) return nullptr;
    return it->text;
}

} // namespace

std::string ErrorMessage(int code) {
    if (code >= 26000 && code <= 26010) return {};
    const char* t = lookup(code);
    return t ? t : "";
}

std::string ArcStringResource(int id) {
    const char* t = lookup(id);
    return t ? t : "";
}

EInOutError::EInOutError(int code, const std::string& fileName)
    : Exception(ErrorMessage(code)), ErrorCode(code), FileName(fileName) {}
