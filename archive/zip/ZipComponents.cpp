// The zipper and unzipper components around the archive model.
#include "archive/zip/InsertHelper.h"
#include "archive/zip/UnZipper.h"
#include "archive/zip/Zipper.h"
#include "archive/zip/ZlExceptions.h"
#include "platform/FileSystem.h"

// ---- TZlCustomZipBrowser ----

TZlCustomZipBrowser::TZlCustomZipBrowser(TComponent* AOwner) : TZlBaseComponent(AOwner) {}

TZlCustomZipBrowser::~TZlCustomZipBrowser() = default;

std::unique_ptr<TZlZipArchive> TZlCustomZipBrowser::MakeArchive(const std::string& FileName,
                                                                std::uint16_t Mode) {
    return std::make_unique<TZlZipArchive>(FileName, Mode);
}

void TZlCustomZipBrowser::SetBaseDirectory(const std::string& Value) {
    if (archive_) archive_->SetBaseDirectory(Value);
    baseDirectory_ = Value;
}

void TZlCustomZipBrowser::Changed() {
    if (OnChange) OnChange(this);
}

void TZlCustomZipBrowser::CopyToArchive() {
    TZlZipArchive& a = *archive_;
    a.SetBaseDirectory(baseDirectory_);
    // The forwarders look at the handlers when they run, so that handlers
    // assigned later are called too.
    a.OnArchiveProgress = [this](TObject*, std::uint8_t pct, bool& abort) {
        if (OnArchiveProgress) OnArchiveProgress(this, pct, abort);
    };
    a.OnArchiveItemProgress = [this](TObject*, TZlArchiveItem* item, std::uint8_t pct,
                                     bool& abort) {
        if (OnArchiveItemProgress) OnArchiveItemProgress(this, item, pct, abort);
    };
    a.OnConfirmProcessItem = [this](TObject*, TZlArchiveItem* item, TZlProcessType type,
                                    bool& confirm) {
        if (OnConfirmProcessItem) OnConfirmProcessItem(this, item, type, confirm);
    };
    a.OnLoad = [this](TObject*) {
        if (OnLoad) OnLoad(this);
    };
    a.OnProcessItemFailure = [this](TObject*, TZlArchiveItem* item, TZlProcessType type,
                                    TZlErrorClass cls, int code) {
        if (OnProcessItemFailure) OnProcessItemFailure(this, item, type, cls, code);
    };
    a.OnRequestLastDisk = [this](TObject*, bool& abort) {
        if (OnRequestLastDisk)
            OnRequestLastDisk(this, abort);
        else
            ZlPromptLastDisk();
    };
    a.OnRequestNthDisk = [this](TObject*, std::uint8_t disk, bool& abort) {
        if (OnRequestNthDisk)
            OnRequestNthDisk(this, disk, abort);
        else
            ZlPromptNthDisk(disk ? disk - 1u : 0u);
    };
}

// ---- TZlCustomZipper ----

TZlCustomZipper::TZlCustomZipper(TComponent* AOwner) : TZlCustomZipBrowser(AOwner) {}

TZlCustomZipper::~TZlCustomZipper() {
    try {
        if (archive_) archive_->Save();
    } catch (...) {
        // Nowhere to report it from a destructor.
    }
}

void TZlCustomZipper::CopyToArchive() {
    TZlCustomZipBrowser::CopyToArchive();
    TZlZipArchive& a = *archive_;
    a.AutoSave = autoSave_;
    a.CompressionMethodToUse = method_;
    a.DeflationOption = deflation_;
    a.DOSMode = dosMode_;
    a.Password = password_;
    a.Encryption = encryption_;
    a.StoreOptions = storeOptions_;
    a.OnConfirmSave = [this](TObject*, bool& confirm) {
        if (OnConfirmSave) OnConfirmSave(this, confirm);
    };
    a.OnSave = [this](TObject*) {
        if (OnSave) OnSave(this);
    };
    a.OnRequestBlankDisk = [this](TObject*, bool& abort) {
        if (OnRequestBlankDisk)
            OnRequestBlankDisk(this, abort);
        else
            ZlPromptBlankDisk();
    };
    // The settings are read when the save compresses the member.
    a.InsertHelper = [](TZlZipArchive* sender, TZlZipItem& item, TZlStream& out) {
        TZlInsertSettings s;
        s.BaseDirectory = sender->BaseDirectory();
        s.Password = sender->Password;
        s.Encryption = sender->Encryption;
        s.CompressionMethodToUse = sender->CompressionMethodToUse;
        s.DeflationOption = sender->DeflationOption;
        s.OnProgress = [sender, &item](std::uint8_t pct, bool&) {
            sender->ItemProgress(&item, pct);
        };
        ZlInsertHelper(s, item, out);
    };
}

void TZlCustomZipper::SetFileName(const std::string& Value) {
    if (Designing) {
        fileName_ = Value;
        return;
    }
    if (archive_) {
        // Pending changes are written or reported, never dropped.
        archive_->Save();
        archive_.reset();
    }
    fileName_ = Value;
    if (!Value.empty()) {
        const bool exists = plat::fileExists(Value);
        archive_ = MakeArchive(Value, exists ? fmOpenReadWrite | fmShareDenyWrite : fmCreate);
        CopyToArchive();
        if (exists) archive_->Load();
    }
    Changed();
}

void TZlCustomZipper::SetAutoSave(bool Value) {
    autoSave_ = Value;
    if (archive_) archive_->AutoSave = Value;
}

void TZlCustomZipper::SetCompressionMethodToUse(TZlZipSupportedMethod Value) {
    method_ = Value;
    if (archive_) archive_->CompressionMethodToUse = Value;
}

void TZlCustomZipper::SetDeflationOption(TZlZipDeflationOption Value) {
    deflation_ = Value;
    if (archive_) archive_->DeflationOption = Value;
}

void TZlCustomZipper::SetDOSMode(bool Value) {
    dosMode_ = Value;
    if (archive_) archive_->DOSMode = Value;
}

void TZlCustomZipper::SetPassword(const std::string& Value) {
    password_ = Value;
    if (archive_) archive_->Password = Value;
}

void TZlCustomZipper::SetEncryption(TZlZipEncryption Value) {
    encryption_ = Value;
    if (archive_) archive_->Encryption = Value;
}

void TZlCustomZipper::SetStoreOptions(TZlStoreOptions Value) {
    storeOptions_ = Value;
    if (archive_) archive_->StoreOptions = Value;
}

void TZlCustomZipper::AddFiles(const std::string& FileMask, int SearchAttr) {
    if (!archive_) throw EZlNoArchive();
    archive_->AddFiles(FileMask, SearchAttr);
    Changed();
}

void TZlCustomZipper::DeleteFiles(const std::string& FileMask) {
    if (!archive_) throw EZlNoArchive();
    archive_->DeleteFiles(FileMask);
    Changed();
}

void TZlCustomZipper::Move(TZlArchiveItem* Item, const std::string& NewName) {
    if (!archive_) throw EZlNoArchive();
    archive_->Move(Item, NewName);
    Changed();
}

void TZlCustomZipper::Save() {
    if (!archive_) return;
    archive_->Save();
    Changed();
}

void TZlCustomZipper::DiscardChanges() {
    if (archive_) archive_->IsDirty = false;
}

// ---- TZlCustomUnZipper ----

TZlCustomUnZipper::TZlCustomUnZipper(TComponent* AOwner) : TZlCustomZipBrowser(AOwner) {}

void TZlCustomUnZipper::CopyToArchive() {
    TZlCustomZipBrowser::CopyToArchive();
    archive_->ExtractHelper = [this](TZlZipArchive* sender, TZlZipItem& item,
                                     const std::string& name) {
        TZlExtractSettings s;
        s.BaseDirectory = baseDirectory_;
        s.ExtractOptions = extractOptions_;
        s.Password = password_;
        s.PasswordRetries = retries_;
        s.Sender = this;
        s.TestOnly = TestOnly;
        if (OnNeedPassword) s.OnNeedPassword = OnNeedPassword;
        s.OnConfirmOverwrite = OnConfirmOverwrite;
        try {
            ZlExtractHelper(s, *sender, item, name);
        } catch (...) {
            password_ = s.Password;
            throw;
        }
        password_ = s.Password;
    };
}

void TZlCustomUnZipper::SetFileName(const std::string& Value) {
    if (Designing) {
        fileName_ = Value;
        return;
    }
    archive_.reset();
    fileName_ = Value;
    if (!Value.empty() && plat::fileExists(Value)) {
        archive_ = MakeArchive(Value, fmOpenRead | fmShareDenyNone);
        CopyToArchive();
        archive_->Load();
    }
    Changed();
}

void TZlCustomUnZipper::ExtractFiles(const std::string& FileMask) {
    if (!archive_) throw EZlNoArchive();
    archive_->ExtractFiles(FileMask);
}

void TZlCustomUnZipper::ExtractAt(int Index, const std::string& NewName) {
    if (!archive_) throw EZlNoArchive();
    archive_->ExtractAt(Index, NewName);
}
