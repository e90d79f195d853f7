#include "app/ZipEdit.h"

#include "desktop/MessageBox.h"

namespace app {

namespace {

void notAvailable(QWidget* owner) {
    desk::showInformation("This command is not available yet.", owner);
}

} // namespace

bool zipLibraryAvailable() {
    return false;
}

bool zipWritable(TArcType type) {
    return type == atZIP || type == atZipExe || type == atZip250 || type == atZip250Exe;
}

bool zipDeleteMembers(QWidget* owner, const QString&, TArcType, const QStringList&) {
    notAvailable(owner);
    return false;
}

bool zipAddFile(QWidget* owner, const QString&, TArcType, const QString&) {
    notAvailable(owner);
    return false;
}

ZipExtractResult zipExtractAll(QWidget* owner, const QString&, const QString&) {
    notAvailable(owner);
    return ZipExtractResult::Failed;
}

} // namespace app
