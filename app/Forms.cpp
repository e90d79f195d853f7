#include "app/Forms.h"

#include <QPointer>

#include "app/Dialogs.h"
#include "app/FrmConfigure.h"
#include "app/FrmMask.h"

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

void createAll() {
    frmProgress();
    frmPassword();
    frmMask();
    frmAbout();
    frmConfigure();
    frmProgress2();
}

void destroyAll() {
    delete progress;
    delete password;
    delete mask;
    delete about;
    delete configure;
    delete progress2;
}

} // namespace forms
