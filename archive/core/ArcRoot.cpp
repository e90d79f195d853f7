#include "archive/core/ArcRoot.h"

#include "archive/core/Hooks.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cctype>

// --- TArcFileAttr ---------------------------------------------------------

TArcFileAttr::TArcFileAttr() {
    ReadOnly_ = Mask & 0x01;
    Hidden_ = Mask & 0x02;
    SysFile_ = Mask & 0x04;
    VolumeID_ = Mask & 0x08;
    Archive_ = Mask & 0x20;
}

void TArcFileAttr::setBit(bool& flag, bool v, std::int32_t bit) {
    flag = v;
    if (v)
        Mask |= bit;
    else
        Mask &= ~bit;
}

// --- progress ---------------------------------------------------------------

bool ProgressDue(bool Force, int Step, std::uint8_t& Percent, std::int64_t Total,
                 std::int64_t Done) {
    if (Done == 0 || Total == 0) return false;
    if (Done == Total) {
        Percent = 100;
        return true;
    }
    std::uint8_t old = Percent;
    // 64-bit arithmetic: members larger than 21 MB would overflow 32 bits.
    std::int64_t p = Done * 100 / Total;
    Percent = static_cast<std::uint8_t>(std::clamp<std::int64_t>(p, 0, 100));
    return ((Step > 0 && Percent % Step == 0) || Force) && Percent != old;
}

// --- TZipCommon -------------------------------------------------------------

TZipCommon::TZipCommon(TComponent* AOwner) : TArcRoot(AOwner) {
    ArchiveDate = plat::kDosEpoch;
}

TZipCommon::~TZipCommon() = default;

std::string TZipCommon::About() const {
    return "OLMEK 95 archive components";
}

const std::string& TZipCommon::ArchiveFile() {
    SetCancel(false);
    return ArchiveFile_;
}

void TZipCommon::SetArchiveFile(const std::string& Value) {
    std::string v = Value;
    if (!v.empty()) {
        CurrentPos = 1;
        FileCount = 0;
        // Kept absolute, so that it names the same file whatever the
        // process's current folder becomes.
        if (v[0] != '/') {
            std::string cwd = plat::getCurrentDir();
            if (!cwd.empty()) v = plat::includeTrailingDelimiter(cwd) + v;
        }
    }
    ArchiveFile_ = v;
    // The archive's folder stands in wherever a folder is left empty; the
    // process's current folder is never changed, so that other components
    // and relative paths elsewhere in the program are not moved.
    if (!ArchiveFile_.empty())
        DetectArcType();
    else
        ArcType_ = atNA;
}

std::string TZipCommon::ArchiveFolder() const {
    std::string dir = plat::extractFileDir(ArchiveFile_);
    if (!dir.empty() && plat::directoryExists(dir)) return dir;
    return plat::getCurrentDir();
}

void TZipCommon::SetArcType(TArcType) {
    DetectArcType();
}

void TZipCommon::SetCancel(bool Value) {
    Cancel_ = Value;
    ProcessMessages();
}

void TZipCommon::SetFileSpec(const std::string& Value) {
    std::string v = Value;
    std::replace(v.begin(), v.end(), '\\', '/');
    if (v.empty() && Designing) v = "*.*";
    FileSpec_ = v;
}

void TZipCommon::SetZipCmntBufSize(int Value) {
    if (Value >= 32768)
        Value = 32767;
    else if (Value < 2000)
        Value = 2000;
    ZipCmntBufSize_ = Value;
}

TDateTime TZipCommon::ConvertDate(std::uint32_t Stamp) {
    return plat::dosToDateTime(Stamp);
}

void TZipCommon::RaiseError(const std::string& FN, int ECode, const std::string& VolumeID) {
    ReportError(FN, VolumeID, ECode);
    throw E_RAISE(ErrorMessage(ECode), ECode);
}

void TZipCommon::ReportError(const std::string& FN, const std::string& VolumeID, int ECode) {
    if (Designing) {
        ShowDesignMessageBox(FN + "\r" + ErrorMessage(ECode) + ".");
    } else if (OnError) {
        OnError(this, plat::extractFileName(FN), VolumeID, ECode);
    }
}

void TZipCommon::DoProgress(bool Force, std::int64_t Total, std::int64_t Done) {
    if (ProgressDue(Force, ProgressStep(), LastPercent, Total, Done) && OnProgress)
        OnProgress(this, FileName, LastPercent);
}

int TZipCommon::IconIndex() const {
    return ShellIconIndex(plat::extractFileName(FileName));
}

std::string TZipCommon::FileTypeName(const std::string& Name) const {
    return ShellTypeName(Name);
}

void TZipCommon::Loaded() {
    TArcRoot::Loaded();
    // A form may have stored an empty FileSpec; listing and extracting then
    // mean every member.
    if (FileSpec_.empty()) FileSpec_ = "*.*";
}

// --- TCompBase ---------------------------------------------------------------

TCompBase::TCompBase(TComponent* AOwner) : TZipCommon(AOwner) {
    Switch = swAdd;
    ProgressNotify = Ten;
}

std::string TCompBase::DefaultDir() const {
    if (DefaultDir_.empty()) return plat::includeTrailingDelimiter(ArchiveFolder());
    return DefaultDir_;
}

void TCompBase::SetDefaultDir(const std::string& Value) {
    bool blank = std::all_of(Value.begin(), Value.end(),
                             [](char c) { return static_cast<unsigned char>(c) <= ' '; });
    std::string v = Value;
    if (blank || !plat::directoryExists(v)) v = ArchiveFolder();
    DefaultDir_ = plat::includeTrailingDelimiter(v);
}

void TCompBase::SetFileSpec(const TStringList& Value) {
    TStringList out;
    for (const auto& line : Value) {
        if (line.empty()) continue;
        std::string l = line;
        std::replace(l.begin(), l.end(), '\\', '/');
        out.Add(plat::extractFileName(l));
    }
    // A line that held only a folder leaves nothing behind.
    std::erase_if(out.Strings, [](const std::string& s) { return s.empty(); });
    FileSpecList_ = out;
}

void TCompBase::MakeFileName(const std::string& StoredName) {
    if (StoreDirs && !StoredName.empty())
        FileName = plat::includeTrailingDelimiter(DefaultDir()) + StoredName;
    else
        FileName = StoredName;
}

bool TCompBase::ReadHeader(TCompHeader&, plat::File&, bool) {
    return false;
}

bool TCompBase::FirstHeader(TCompHeader& Header, plat::File& Stream, bool) {
    Header.NextHeaderPos = CurrentPos - 1;
    return ReadHeader(Header, Stream, false);
}

void TCompBase::NextEntry(TCompHeader&) {}

bool TCompBase::Compress() {
    return true;
}

bool TCompBase::ReplaceDecision(const std::string& StoredName, std::uint32_t NewDosDate,
                                std::int64_t NewSize, int NewAttr) {
    auto it = std::find_if(ExistingEntries.begin(), ExistingEntries.end(),
                           [&](const TCompHeader& h) { return h.Name == StoredName; });
    if (it == ExistingEntries.end()) return true;
    if (it->DosDate == NewDosDate && it->Size == NewSize && it->Attr == NewAttr) return false;
    bool replace = true;
    if (OnReplaceFile)
        OnReplaceFile(this, StoredName, ConvertDate(it->DosDate), ConvertDate(NewDosDate), it->Size,
                      NewSize, it->Attr, NewAttr, replace);
    return replace;
}

void TCompBase::ListExisting() {
    if (!OnRead) return;
    plat::File stream;
    if (!stream.open(ArchiveFile_, plat::File::Mode::Read)) return;
    TCompHeader header;
    int count = 0;
    bool ok = FirstHeader(header, stream, false);
    while (ok) {
        NextEntry(header);
        ++count;
        OnRead(this, stream.tell(), count);
        if (header.NextHeaderPos == 0) break;
        ok = ReadHeader(header, stream, true);
    }
}

// --- TTempFileStream ----------------------------------------------------------

std::string TTempFileStream::FirstTempName;
std::string TTempFileStream::LastTempName;

TTempFileStream::TTempFileStream() {
    Name_ = plat::tempFileName("BH");
    if (Name_.empty() || !open(Name_, Mode::Create))
        throw EFOpenError(ErrorMessage(err::OpenError));
    if (FirstTempName.empty())
        FirstTempName = Name_;
    else
        LastTempName = Name_;
}
