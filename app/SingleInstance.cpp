#include "app/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <unistd.h>

namespace app {

namespace {
// A path longer than this is not a path a user gave.
constexpr qint64 kMaxRequest = 64 * 1024;
} // namespace

QString instanceSocketPath() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) return runtime + "/olmek95.socket";
    return QDir::tempPath() + QString("/olmek95-%1.socket").arg(::getuid());
}

bool sendToRunningInstance(const QString& path, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(instanceSocketPath());
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(path.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(timeoutMs)) return false;
    return socket.readLine().trimmed() == "ok";
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &InstanceServer::onConnection);
}

InstanceServer::~InstanceServer() {
    server_->close();
}

bool InstanceServer::listen() {
    const QString name = instanceSocketPath();
    // Someone answers: another program runs (listening would take its
    // socket away).
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(500)) return false;
    // What is left is a socket of a program that ended.
    QLocalServer::removeServer(name);
    return server_->listen(name);
}

bool InstanceServer::isListening() const {
    return server_->isListening();
}

void InstanceServer::onConnection() {
    while (QLocalSocket* s = server_->nextPendingConnection()) {
        connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        connect(s, &QLocalSocket::readyRead, this, [this, s] {
            if (s->bytesAvailable() > kMaxRequest) {
                s->abort();
                return;
            }
            if (!s->canReadLine()) return;
            const QString path = QString::fromUtf8(s->readLine()).trimmed();
            s->write(path.isEmpty() ? "no\n" : "ok\n");
            s->flush();
            if (!path.isEmpty()) emit archiveRequested(path);
        });
    }
}

} // namespace app
