#include "app/FrmCompress.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <exception>

#include "app/Dialogs.h"
#include "app/ErrorText.h"
#include "app/Forms.h"
#include "app/IniOut.h"
#include "app/ZipEdit.h"
#include "archive/writers/Lha.h"
#include "archive/writers/UUCode.h"
#include "desktop/FolderPicker.h"
#include "desktop/MessageBox.h"
#include "shellctl/CheckList.h"

namespace {

const char* const kMethods[] = {"&Zip (PKZIP Compatible)", "&LHA Compression",
                                "&UUEncode (Internet)", "&XXEncode (Internet)",
                                "&Base64 Encode (Internet)"};

} // namespace

TfrmCompress::TfrmCompress(QWidget* parent) : QDialog(parent) {
    setObjectName("frmCompress");
    setWindowTitle("Compress");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    auto* grid = new QGridLayout(this);

    lblFile = new QLabel(FilesHeading, this);
    lblFile->setObjectName("lblFile");
    lstFiles = new TCheckList(this);
    lstFiles->setObjectName("lstFiles");
    lstFiles->setSortingEnabled(true);
    grid->addWidget(lblFile, 0, 0);
    grid->addWidget(lstFiles, 1, 0);

    auto* box = new QGroupBox("Compression Method", this);
    box->setObjectName("optCompressionMethod");
    auto* boxLayout = new QVBoxLayout(box);
    optCompressionMethod = new QButtonGroup(this);
    for (int i = 0; i < 5; ++i) {
        auto* r = new QRadioButton(kMethods[i], box);
        r->setObjectName(QString("optMethod%1").arg(i));
        optCompressionMethod->addButton(r, i);
        boxLayout->addWidget(r);
    }
    setMethod(0);
    grid->addWidget(box, 1, 1);

    auto* lblTarget = new QLabel("Enter target &filename including path:", this);
    cmbFile = new QComboBox(this);
    cmbFile->setObjectName("cmbFile");
    cmbFile->setEditable(true);
    cmbFile->setInsertPolicy(QComboBox::NoInsert);
    cmbFile->setMaxVisibleItems(10);
    lblTarget->setBuddy(cmbFile);
    cmdBrowse = new QPushButton("...", this);
    cmdBrowse->setObjectName("cmdBrowse");
    cmdBrowse->setToolTip("Browse for folder");
    cmdBrowse->setFixedWidth(30);
    auto* targetRow = new QHBoxLayout;
    targetRow->addWidget(cmbFile, 1);
    targetRow->addWidget(cmdBrowse);
    grid->addWidget(lblTarget, 2, 0, 1, 2);
    grid->addLayout(targetRow, 3, 0, 1, 2);

    cmdCompress = new QPushButton("Compress", this);
    cmdCompress->setObjectName("cmdCompress");
    cmdCompress->setDefault(true);
    cmdCancel = new QPushButton("Cancel", this);
    cmdCancel->setObjectName("cmdCancel");
    cmdHelp = new QPushButton("Help", this);
    cmdHelp->setObjectName("cmdHelp");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdCompress);
    buttons->addWidget(cmdCancel);
    buttons->addWidget(cmdHelp);
    grid->addLayout(buttons, 4, 0, 1, 2);
    grid->setColumnStretch(0, 1);

    connect(cmdCompress, &QPushButton::clicked, this, [this] {
        Compress();
        accept();
    });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdBrowse, &QPushButton::clicked, this, [this] {
        const QString folder = desk::selectDirectory(this, "Compress To:", cmbFile->currentText());
        if (!folder.isEmpty()) BrowseTo(folder);
    });

    IniOut1 = new TIniOut(this);
    IniOut1->Items << QString(
                          "cmbFile;Items;%1;\\Software\\Fenwood\\OLMEK95\\CompressDialog;Path;1;0")
                          .arg(QDir::homePath() + "/");

    Lha1 = std::make_unique<TLha>();
    Lha1->CompressMethod = mtFrozen;
    Lha1->SetDefaultExt("LZH");
    Lha1->StoreDirs = true;
    Lha1->Switch = swAdd;
    UUCode1 = std::make_unique<TUUCode>();
    UUCode1->FileMode = 644;
    UUCode1->Headers = true;
    UUCode1->UnixCRLF = LF;
    resize(509, 334);
}

TfrmCompress::~TfrmCompress() = default;

int TfrmCompress::method() const {
    return optCompressionMethod->checkedId();
}

void TfrmCompress::setMethod(int index) {
    if (QAbstractButton* b = optCompressionMethod->button(index)) b->setChecked(true);
}

void TfrmCompress::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    const QString text = cmbFile->currentText();
    IniOut1->Load();
    // The box keeps what was typed last (at first the newest history
    // entry); the history only fills the list.
    if (text.isEmpty() && cmbFile->count() > 0) {
        cmbFile->setEditText(cmbFile->itemText(cmbFile->count() - 1));
    } else {
        cmbFile->setEditText(text);
    }
    cmbFile->setFocus();
}

void TfrmCompress::BrowseTo(const QString& folder) {
    QString text = folder;
    if (!text.endsWith('/')) text += '/';
    cmbFile->setEditText(text);
    cmbFile->lineEdit()->setCursorPosition(int(text.size()));
}

QString TfrmCompress::withExtension(const QString& target, const QString& ext) {
    return target.right(4).toUpper() == ext ? target : target + ext;
}

QString TfrmCompress::encodedTarget(const QString& targetText, const QString& input,
                                    const QString& ext) {
    const QString name = QFileInfo(input).fileName() + ext;
    const QString text = targetText.trimmed();
    QString folder;
    if (!text.isEmpty()) {
        const QFileInfo t(text);
        if (text.endsWith('/') || t.isDir())
            folder = t.absoluteFilePath();
        else if (text.contains('/'))
            folder = t.absolutePath();
    }
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QFileInfo(input).absolutePath();
    if (!folder.endsWith('/')) folder += '/';
    return folder + name;
}

bool TfrmCompress::folderMode() const {
    return lblFile->text().contains("Directory") || lblFile->text().contains("Drive");
}

QStringList TfrmCompress::checkedLines() const {
    QStringList lines;
    for (int i = 0; i < lstFiles->ItemCount(); ++i)
        if (lstFiles->Checked(i)) lines << lstFiles->ItemText(i);
    return lines;
}

void TfrmCompress::addToHistory() {
    const QString text = cmbFile->currentText();
    while (cmbFile->count() >= HistorySize) cmbFile->removeItem(0);
    cmbFile->addItem(text);
    cmbFile->setEditText(text);
    IniOut1->Save();
}

void TfrmCompress::Compress() {
    addToHistory();
    switch (method()) {
    case 0:
        compressZip();
        break;
    case 1:
        compressLha();
        break;
    case 2:
    case 3:
    case 4:
        encode(method());
        break;
    default:
        break;
    }
}

void TfrmCompress::compressZip() {
    const QString target = withExtension(cmbFile->currentText(), ".ZIP");
    if (folderMode()) {
        const QString base = BaseDirectory.isEmpty() && lstFiles->ItemCount() > 0
                                 ? lstFiles->ItemText(0)
                                 : BaseDirectory;
        app::zipCompress(this, target, base, true, {"*.*"});
    } else {
        const QStringList lines = checkedLines();
        if (lines.isEmpty()) return;
        app::zipCompress(this, target, {}, false, lines);
    }
}

void TfrmCompress::compressLha() {
    TfrmProgress* p = forms::frmProgress();
    TLha& lha = *Lha1;
    lha.OnActivate = [p](TObject*) { p->show(); };
    lha.OnDeactivate = [p](TObject*) { p->hide(); };
    lha.OnProgress = [p](TObject*, const std::string& name, std::uint8_t percent) {
        QCoreApplication::processEvents();
        p->Progress(QString::fromStdString(name), percent);
    };
    lha.OnEnd = [this, p, &lha](TObject*, const std::string& name, bool crcPassed) {
        if (p->CancelFlag) lha.SetCancel(true);
        if (!crcPassed)
            desk::showInformation(
                QString::fromStdString(name) + "\rExtract failed\r\rOnEnd Event...", this);
    };
    bool reported = false;
    lha.OnError = [this, &reported](TObject*, const std::string& name, const std::string& volume,
                                    int code) {
        const QString text = app::componentErrorText(QString::fromStdString(name),
                                                     QString::fromStdString(volume), code);
        if (text.isEmpty()) return;
        reported = true;
        desk::showInformation(text, this);
    };
    const QString target = withExtension(cmbFile->currentText(), ".LZH");
    lha.SetArchiveFile(target.toStdString());
    // Each compression starts from an empty list.
    lha.FileSpec().Clear();
    if (folderMode()) {
        const QString folder = lstFiles->ItemCount() > 0 ? lstFiles->ItemText(0) : BaseDirectory;
        p->Progress(folder, 0);
        // The folder compressed, with its sub-folders, as the ZIP branch does.
        lha.SetDefaultDir(folder.toStdString());
        lha.RecurseDirs = true;
        lha.FileSpec().Add("*.*");
    } else {
        lha.RecurseDirs = false;
        for (const QString& line : checkedLines()) {
            p->Progress(line, 0);
            lha.FileSpec().Add(line.toStdString());
        }
    }
    try {
        lha.Compress();
    } catch (const std::exception& e) {
        p->hide();
        if (!reported)
            desk::MessageDlg(target + "\r\r" + QString::fromLocal8Bit(e.what()), desk::mtError,
                             desk::mbOK, this);
    }
    p->hide();
}

void TfrmCompress::encode(int index) {
    static const TAlgorithm algorithms[] = {uuencode, xxencode, base64encode};
    static const char* const extensions[] = {".uue", ".xxe", ".b64"};
    TUUCode& uu = *UUCode1;
    uu.Algorithm = algorithms[index - 2];
    TfrmProgress* p = forms::frmProgress();
    uu.OnProgress = [p](TObject*, std::uint16_t percent) {
        p->ProgressBar1()->setValue(percent);
        QCoreApplication::processEvents();
    };
    // The question was asked before the run.
    uu.OnFileExists = [](TObject*, const std::string&, TDateTime, bool& accept) { accept = true; };
    for (const QString& input : checkedLines()) {
        const QString output = encodedTarget(cmbFile->currentText(), input, extensions[index - 2]);
        if (QFileInfo::exists(output) &&
            desk::MessageDlg(output + " already exists.\n\nDo you want to replace it?",
                             desk::mtConfirmation, desk::mbYes | desk::mbNo, this) != desk::mrYes)
            continue;
        uu.InputFile = input.toStdString();
        uu.OutputFile = output.toStdString();
        p->Progress(input, 0);
        p->show();
        try {
            uu.Execute();
        } catch (const std::exception& e) {
            p->hide();
            desk::MessageDlg(input + "\r\r" + QString::fromLocal8Bit(e.what()), desk::mtError,
                             desk::mbOK, this);
            continue;
        }
        p->hide();
    }
}
