#include "app/ZipEdit.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <exception>

#include "app/Dialogs.h"
#include "app/Forms.h"
#include "archive/extract/Decoder.h"
#include "archive/format/ZipFormat.h"
#include "archive/zip/SfxJoin.h"
#include "archive/zip/UnZipper.h"
#include "archive/zip/Zipper.h"
#include "archive/zip/ZlExceptions.h"
#include "desktop/MessageBox.h"
#include "desktop/VisibleText.h"
#include "platform/FileSystem.h"

namespace app {

bool zipWritable(TArcType type) {
    return type == atZIP || type == atZipExe || type == atZip250 || type == atZip250Exe;
}

namespace {

bool checkWritable(QWidget* owner, TArcType type) {
    if (zipWritable(type)) return true;
    desk::showInformation("Only ZIP archives can be changed.", owner);
    return false;
}

QString failureText(TZlErrorClass cls, int code) {
    switch (cls) {
    case ecInOutError:
    case ecFileCreateError:
    case ecFileOpenError:
        if (code > 0) return QString::fromLocal8Bit(std::strerror(code));
        return "the file could not be read or written";
    default:
        return "error " + QString::number(code);
    }
}

// Whether the library decodes every member (AES-encrypted members and the
// newer methods are the extractor's).
bool decodesEveryMember(TZlZipArchive& a) {
    for (int i = 0; i < a.Count(); ++i)
        if (auto* z = dynamic_cast<TZlZipItem*>(a.Items(i)))
            if (!dec::canDecode(fmt::findMethod(zip::methods(), z->CompressionMethod())))
                return false;
    return true;
}

QString memberName(const TZlArchiveItem* item) {
    return item ? desk::visibleText(item->FileName()) : QString();
}

// Opens archive in a writer, lets change mark its members, and saves once
// with the progress window up (its Cancel stops the save, which leaves the
// archive as it was).  Failures are shown; true when saved.
template <typename Change>
bool changeArchive(QWidget* owner, const QString& archive, Change&& change) {
    TZlZipper z;
    z.SetAutoSave(false);
    z.SetDOSMode(false);
    QStringList failures;
    z.OnProcessItemFailure = [&](TObject*, TZlArchiveItem* item, TZlProcessType, TZlErrorClass cls,
                                 int code) {
        failures << memberName(item) + ": " + failureText(cls, code);
    };
    TfrmProgress* p = forms::frmProgress();
    z.OnArchiveItemProgress = [&](TObject*, TZlArchiveItem* item, std::uint8_t percent,
                                  bool& abort) {
        p->Progress(memberName(item), percent);
        QCoreApplication::processEvents();
        abort = p->CancelFlag;
    };
    z.OnArchiveProgress = [&](TObject*, std::uint8_t, bool& abort) {
        QCoreApplication::processEvents();
        abort = p->CancelFlag;
    };
    bool saved = false;
    try {
        z.SetFileName(archive.toStdString());
        if (!z.Archive()) throw Exception("The archive could not be opened.");
        change(z);
        p->show();
        z.Save();
        saved = true;
    } catch (const EZlUserAbort&) {
        z.DiscardChanges();
    } catch (const std::exception& e) {
        z.DiscardChanges();
        desk::showInformation(archive + "\r\r" + QString::fromLocal8Bit(e.what()), owner);
    }
    p->hide();
    try {
        z.SetFileName("");
    } catch (const std::exception&) {
        // Nothing is pending any more: the changes were saved or dropped.
    }
    if (!failures.isEmpty()) desk::showInformation(failures.join("\r"), owner);
    return saved;
}

} // namespace

bool zipDeleteMembers(QWidget* owner, const QString& archive, TArcType type,
                      const QStringList& names) {
    if (!checkWritable(owner, type)) return false;
    return changeArchive(owner, archive, [&](TZlZipper& z) {
        TZlZipArchive& a = *z.Archive();
        // Exact stored names: a mask would also take other members (case,
        // wildcards).
        for (const QString& name : names) {
            const std::string stored = name.toStdString();
            for (int i = a.Count() - 1; i >= 0; --i)
                if (a.Items(i)->Action != iaDelete && a.Items(i)->FileName() == stored)
                    a.DeleteAt(i);
        }
    });
}

bool zipAddFile(QWidget* owner, const QString& archive, TArcType type, const QString& file) {
    if (!checkWritable(owner, type)) return false;
    const QFileInfo fi(file);
    return changeArchive(owner, archive, [&](TZlZipper& z) {
        // Stored under its own name, not its folder path.
        z.SetBaseDirectory(fi.absolutePath().toStdString());
        z.AddFiles(fi.fileName().toStdString(), 0);
    });
}

ZipExtractResult zipExtractAll(QWidget* owner, const QString& archive, const QString& target) {
    TZlUnZipper u;
    u.SetExtractOptions({eoCreateDirs, eoRestorePath});
    TfrmProgress2* p = forms::frmProgress2();
    QString member; // the member being extracted
    u.OnConfirmOverwrite = [owner](std::string& name, bool& confirm) {
        confirm = desk::askYesNo(desk::visibleText(name) + " already exists. Overwrite?", owner);
    };
    u.OnNeedPassword = [&](TObject*, std::string& password) {
        TfrmPassword* prompt = forms::frmPassword();
        prompt->setWindowTitle(QFileInfo(archive).fileName());
        // Cancel ends the extraction instead of trying an empty password.
        if (prompt->exec() != QDialog::Accepted) throw EZlUserAbort();
        password = prompt->txtPassword()->text().toStdString();
    };
    // Cancel takes effect between members: the one being written is
    // finished, and nothing after it is started.
    const TZlArchiveItem* cancelledDuring = nullptr;
    u.OnArchiveItemProgress = [&](TObject*, TZlArchiveItem* item, std::uint8_t percent,
                                  bool& abort) {
        QString verb = TfrmProgress2::MethodVerb(-1);
        if (item && item->Action == iaAdd)
            verb = TfrmProgress2::AddingVerb;
        else if (item && item->Action == iaFreshen)
            verb = TfrmProgress2::FresheningVerb;
        else if (auto* z = dynamic_cast<TZlZipItem*>(item))
            verb = TfrmProgress2::MethodVerb(z->CompressionMethod());
        member = memberName(item);
        p->ItemProgress(verb, member, percent);
        QCoreApplication::processEvents();
        if (p->CancelFlag && !cancelledDuring) cancelledDuring = item;
        abort = p->CancelFlag && item != cancelledDuring;
    };
    u.OnArchiveProgress = [&](TObject*, std::uint8_t percent, bool& abort) {
        p->ArchiveProgress(percent);
        QCoreApplication::processEvents();
        abort = p->CancelFlag && percent < 100;
    };
    p->Reset();
    p->SetArchive(archive);
    p->show();
    QCoreApplication::processEvents();
    ZipExtractResult result = ZipExtractResult::Done;
    try {
        u.SetFileName(archive.toStdString());
        if (!u.Archive()) throw Exception("The archive could not be opened.");
        if (!decodesEveryMember(*u.Archive())) {
            p->hide();
            return ZipExtractResult::NotForTheLibrary;
        }
        u.SetBaseDirectory(target.toStdString());
        u.ExtractFiles("*.*");
    } catch (const EZlUserAbort&) {
        result = ZipExtractResult::Cancelled;
    } catch (const EZlZipBadCRC&) {
        result = ZipExtractResult::Failed;
        desk::showInformation(
            (member.isEmpty() ? archive : member) + "\rExtract failed\r\rOnEnd Event...", owner);
    } catch (const std::exception& e) {
        result = p->CancelFlag ? ZipExtractResult::Cancelled : ZipExtractResult::Failed;
        if (result == ZipExtractResult::Failed)
            desk::showInformation(archive + "\r\r" + QString::fromLocal8Bit(e.what()), owner);
    }
    p->hide();
    return result;
}

bool zipCompress(QWidget* owner, const QString& archive, const QString& baseDirectory, bool recurse,
                 const QStringList& masks) {
    return changeArchive(owner, archive, [&](TZlZipper& z) {
        z.SetDeflationOption(doMaximum);
        TZlStoreOptions options = z.StoreOptions();
        if (recurse)
            options.Include(soRecurse);
        else
            options.Exclude(soRecurse);
        z.SetStoreOptions(options);
        z.SetBaseDirectory(baseDirectory.toStdString());
        TfrmProgress* p = forms::frmProgress();
        for (const QString& mask : masks) {
            p->Progress(mask, 0);
            QCoreApplication::processEvents();
            // Read-only, hidden, system and archive files.
            z.AddFiles(mask.toStdString(), 39);
        }
    });
}

bool zipMakeSelfExtractor(QWidget* owner, const QString& stub, const QString& archive,
                          const QString& target) {
    const std::string out = QFileInfo(target).absoluteFilePath().toStdString();
    std::string temp;
    try {
        TZlFileStream stubFile(stub.toStdString(), fmOpenRead | fmShareDenyWrite);
        TZlFileStream source(archive.toStdString(), fmOpenRead | fmShareDenyWrite);
        temp = plat::tempFileIn(plat::extractFileDir(out), ".exe");
        if (temp.empty())
            throw EFCreateError("Cannot create a file in \"" + plat::extractFileDir(out) + "\"");
        {
            TZlFileStream joined(temp, fmCreate);
            ZlMakeSelfExtractor(stubFile, source, joined);
        }
        // The program is meant to be run.
        ::chmod(temp.c_str(), 0777 & ~plat::creationMask());
        if (!plat::renameFile(temp, out))
            throw EInOutError("Cannot write \"" + out + "\": " + std::strerror(errno), errno);
    } catch (const std::exception& e) {
        // A failed join leaves no half-written program behind.
        if (!temp.empty()) plat::deleteFile(temp);
        desk::MessageDlg(QString::fromStdString(e.what()), desk::mtError, desk::mbOK, owner);
        return false;
    }
    return true;
}

} // namespace app
