// One program per user: a start with an archive path while the program
// runs hands the path to the running program (through a local socket) and
// ends; the running program shows it in its viewer.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace app {

// $XDG_RUNTIME_DIR/olmek95.socket, else a per-user name in the temporary
// folder.
QString instanceSocketPath();

// Hands path to the running program; true when it took it.
bool sendToRunningInstance(const QString& path, int timeoutMs = 3000);

class InstanceServer : public QObject {
    Q_OBJECT
public:
    explicit InstanceServer(QObject* parent = nullptr);
    ~InstanceServer() override;
    // False when another program already listens (or the socket cannot be
    // made); a socket left by a program that ended is replaced.
    bool listen();
    bool isListening() const;

signals:
    void archiveRequested(const QString& path);

private:
    void onConnection();
    QLocalServer* server_;
};

} // namespace app
