#include "desktop/Settings.h"

#include <QDir>
#include <QStandardPaths>

namespace desk {

QString settingsFilePath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + "/.config";
    return base + "/Fenwood/OLMEK95.conf";
}

QString settingsGroup(const QString& key) {
    QString g = key;
    g.replace('\\', '/');
    QStringList parts = g.split('/', Qt::SkipEmptyParts);
    // Keys may arrive with the full registry path of the program.
    static const QStringList prefix = {"Software", "Fenwood", "OLMEK95"};
    int skip = 0;
    while (skip < prefix.size() && skip < parts.size() &&
           parts[skip].compare(prefix[skip], Qt::CaseInsensitive) == 0)
        ++skip;
    if (skip == prefix.size()) parts = parts.mid(skip);
    return parts.join('/');
}

Settings::Settings() : Settings(settingsFilePath()) {}

Settings::Settings(const QString& iniPath)
    : store_(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

Settings::~Settings() {
    store_->sync();
}

namespace {
QString fullKey(const QString& key, const QString& name) {
    const QString g = settingsGroup(key);
    return g.isEmpty() ? name : g + '/' + name;
}
} // namespace

QString Settings::readString(const QString& key, const QString& name, const QString& def) const {
    const QVariant v = store_->value(fullKey(key, name));
    return v.isValid() ? v.toString() : def;
}

void Settings::writeString(const QString& key, const QString& name, const QString& value) {
    store_->setValue(fullKey(key, name), value);
}

bool Settings::readBool(const QString& key, const QString& name, bool def) const {
    if (!valueExists(key, name)) return def;
    const QString s = readString(key, name);
    return !s.isEmpty() && QStringLiteral("1TYty").contains(s.at(0));
}

void Settings::writeBool(const QString& key, const QString& name, bool value) {
    writeString(key, name, value ? "1" : "0");
}

int Settings::readInt(const QString& key, const QString& name, int def) const {
    bool ok = false;
    const int v = readString(key, name).trimmed().toInt(&ok, 10);
    return ok ? v : def;
}

void Settings::writeInt(const QString& key, const QString& name, int value) {
    writeString(key, name, QString::number(value));
}

bool Settings::valueExists(const QString& key, const QString& name) const {
    return store_->contains(fullKey(key, name));
}

bool Settings::keyExists(const QString& key) const {
    const QString g = settingsGroup(key);
    if (g.isEmpty()) return !store_->allKeys().isEmpty();
    store_->beginGroup(g);
    const bool any = !store_->childKeys().isEmpty() || !store_->childGroups().isEmpty();
    store_->endGroup();
    return any;
}

void Settings::removeKey(const QString& key) {
    store_->remove(settingsGroup(key));
}

bool Settings::sync() {
    store_->sync();
    return store_->status() == QSettings::NoError;
}

QString Settings::fileName() const {
    return store_->fileName();
}

} // namespace desk
