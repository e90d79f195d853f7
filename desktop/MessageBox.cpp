#include "desktop/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace desk {

namespace {

struct ButtonMap {
    int flag;
    QMessageBox::StandardButton qt;
    int result;
};

const ButtonMap kButtons[] = {
    {mbYes, QMessageBox::Yes, mrYes},
    {mbNo, QMessageBox::No, mrNo},
    {mbOK, QMessageBox::Ok, mrOk},
    {mbCancel, QMessageBox::Cancel, mrCancel},
    {mbAbort, QMessageBox::Abort, mrAbort},
    {mbRetry, QMessageBox::Retry, mrRetry},
    {mbIgnore, QMessageBox::Ignore, mrIgnore},
    {mbAll, QMessageBox::YesAll, mrAll},
    {mbYesToAll, QMessageBox::YesToAll, mrYesToAll},
    {mbNoToAll, QMessageBox::NoToAll, mrNoToAll},
};

QString defaultCaption(TMsgDlgType type) {
    switch (type) {
    case mtWarning:
        return "Warning";
    case mtError:
        return "Error";
    case mtInformation:
        return "Information";
    case mtConfirmation:
        return "Confirmation";
    case mtCustom:
        break;
    }
    return applicationTitle();
}

QString& titleSlot() {
    static QString title;
    return title;
}

QtMessageService defaultService;
MessageService* current = nullptr;

} // namespace

int QtMessageService::messageDlg(QWidget* parent, const QString& caption, const QString& text,
                                 TMsgDlgType type, int buttons) {
    QMessageBox box(parent);
    box.setWindowTitle(caption.isEmpty() ? defaultCaption(type) : caption);
    QString shown = text;
    shown.replace("\r\n", "\n");
    shown.replace('\r', '\n');
    box.setText(shown);
    switch (type) {
    case mtWarning:
        box.setIcon(QMessageBox::Warning);
        break;
    case mtError:
        box.setIcon(QMessageBox::Critical);
        break;
    case mtInformation:
        box.setIcon(QMessageBox::Information);
        break;
    case mtConfirmation:
        box.setIcon(QMessageBox::Question);
        break;
    case mtCustom:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    if (buttons == 0) buttons = mbOK;
    QMessageBox::StandardButtons set;
    for (const auto& b : kButtons)
        if (buttons & b.flag) set |= b.qt;
    box.setStandardButtons(set);
    for (const auto& b : kButtons)
        if (buttons & b.flag) {
            box.setDefaultButton(b.qt);
            break;
        }
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (const auto& b : kButtons)
        if (clicked && clicked == box.button(b.qt)) return b.result;
    return (buttons & mbCancel) ? mrCancel : ((buttons & mbNo) ? mrNo : mrCancel);
}

int ScriptedMessageService::messageDlg(QWidget*, const QString& caption, const QString& text,
                                       TMsgDlgType type, int buttons) {
    int answer;
    if (!answers.isEmpty()) {
        answer = answers.takeFirst();
    } else if (defaultAnswer != mrNone) {
        answer = defaultAnswer;
    } else {
        answer = mrOk;
        if (buttons == 0) buttons = mbOK;
        for (const auto& b : kButtons)
            if (buttons & b.flag) {
                answer = b.result;
                break;
            }
    }
    records.append({caption, text, type, buttons, answer});
    return answer;
}

QStringList ScriptedMessageService::texts() const {
    QStringList out;
    for (const auto& r : records) out << r.text;
    return out;
}

void setApplicationTitle(const QString& title) {
    titleSlot() = title;
}

QString applicationTitle() {
    return titleSlot().isEmpty() ? QApplication::applicationName() : titleSlot();
}

MessageService& messageService() {
    return current ? *current : defaultService;
}

void setMessageService(MessageService* service) {
    current = service;
}

int MessageDlg(const QString& text, TMsgDlgType type, int buttons, QWidget* parent) {
    return messageService().messageDlg(parent, {}, text, type, buttons);
}

void ShowMessage(const QString& text, QWidget* parent) {
    messageService().messageDlg(parent, {}, text, mtCustom, mbOK);
}

void showInformation(const QString& text, QWidget* parent) {
    messageService().messageDlg(parent, {}, text, mtInformation, mbOK);
}

bool askYesNo(const QString& text, QWidget* parent) {
    return messageService().messageDlg(parent, {}, text, mtInformation, mbYes | mbNo) == mrYes;
}

} // namespace desk
