#include "app/Forms.h"

#include <QPointer>

#include "app/Dialogs.h"
#include "app/FileDialogs.h"
#include "app/FrmCompress.h"
#include "app/FrmConfigure.h"
#include "app/FrmMask.h"
#include "app/FrmTo.h"

namespace forms {
namespace {

template <class T> T* get(QPointer<T>& slot) {
    if (!slot) slot = new T(nullptr);
    return slot;
}

QPointer<TfrmProgress> progress;
QPointer<TfrmPassword> password;
QPointer<TfrmMask> mask;
QPointer<TfrmAbout> about;
QPointer<TfrmConfigure> configure;
QPointer<TfrmProgress2> progress2;
QPointer<TfrmTo> to;
QPointer<TfrmRenameFile> renameFile;
QPointer<TfrmNewDirectory> newDirectory;
QPointer<TfrmFileAttributes> fileAttributes;
QPointer<TfrmFileDateTime> fileDateTime;
QPointer<TfrmCompress> compress;

} // namespace

TfrmProgress* frmProgress() {
    return get(progress);
}
TfrmPassword* frmPassword() {
    return get(password);
}
TfrmMask* frmMask() {
    return get(mask);
}
TfrmAbout* frmAbout() {
    return get(about);
}
TfrmConfigure* frmConfigure() {
    return get(configure);
}
TfrmProgress2* frmProgress2() {
    return get(progress2);
}
TfrmTo* frmTo() {
    return get(to);
}
TfrmRenameFile* frmRenameFile() {
    return get(renameFile);
}
TfrmNewDirectory* frmNewDirectory() {
    return get(newDirectory);
}
TfrmFileAttributes* frmFileAttributes() {
    return get(fileAttributes);
}
TfrmFileDateTime* frmFileDateTime() {
    return get(fileDateTime);
}
TfrmCompress* frmCompress() {
    return get(compress);
}

void createAll() {
    frmCompress();
    frmTo();
    frmProgress();
    frmPassword();
    frmMask();
    frmAbout();
    frmConfigure();
    frmFileAttributes();
    frmFileDateTime();
    frmRenameFile();
    frmNewDirectory();
    frmProgress2();
}

void destroyAll() {
    delete progress;
    delete password;
    delete mask;
    delete about;
    delete configure;
    delete progress2;
    delete to;
    delete renameFile;
    delete newDirectory;
    delete fileAttributes;
    delete fileDateTime;
    delete compress;
}

} // namespace forms
