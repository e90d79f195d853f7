// Message boxes with the program's own icons and buttons, behind a service that
// tests replace with a scripted one.
#pragma once

#include <QList>
#include <QString>
#include <QWidget>

namespace desk {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Button set: OR of these.
enum TMsgDlgBtn {
    mbYes = 0x01,
    mbNo = 0x02,
    mbOK = 0x04,
    mbCancel = 0x08,
    mbAbort = 0x10,
    mbRetry = 0x20,
    mbIgnore = 0x40,
    mbAll = 0x80,
    mbYesToAll = 0x100,
    mbNoToAll = 0x200
};

// What a box returns.
enum TModalResult {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrAll = 8,
    mrNoToAll = 9,
    mrYesToAll = 10
};

class MessageService {
public:
    virtual ~MessageService() = default;
    // caption empty = the application title for mtCustom, the type's name
    // ("Information", "Confirmation", ...) otherwise.  "\r" in text breaks lines.
    virtual int messageDlg(QWidget* parent, const QString& caption, const QString& text,
                           TMsgDlgType type, int buttons) = 0;
};

// The QMessageBox implementation.
class QtMessageService : public MessageService {
public:
    int messageDlg(QWidget* parent, const QString& caption, const QString& text, TMsgDlgType type,
                   int buttons) override;
};

// Records every box and answers from a queue (then with defaultAnswer, or,
// when that is mrNone, with the first button of the set).
class ScriptedMessageService : public MessageService {
public:
    struct Record {
        QString caption;
        QString text;
        TMsgDlgType type;
        int buttons;
        int answer;
    };
    QList<Record> records;
    QList<int> answers;
    int defaultAnswer = mrNone;

    int messageDlg(QWidget* parent, const QString& caption, const QString& text, TMsgDlgType type,
                   int buttons) override;
    QStringList texts() const;
};

// The service in use (a QtMessageService until one is set).  The caller
// keeps ownership of what it sets; nullptr restores the default.
MessageService& messageService();
void setMessageService(MessageService* service);

// The caption of plain boxes (mtCustom): the program's title, set at start
// (the application name until then).  Window titles never get it appended.
void setApplicationTitle(const QString& title);
QString applicationTitle();

// The usual calls.
int MessageDlg(const QString& text, TMsgDlgType type, int buttons, QWidget* parent = nullptr);
void ShowMessage(const QString& text, QWidget* parent = nullptr);     // plain box, OK
void showInformation(const QString& text, QWidget* parent = nullptr); // information icon, OK
bool askYesNo(const QString& text, QWidget* parent = nullptr);        // information icon, Yes/No

} // namespace desk
