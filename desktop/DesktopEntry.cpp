#include "desktop/DesktopEntry.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSet>
#include <QStandardPaths>

#include "desktop/Launch.h"
#include "desktop/Shell.h"

namespace desk {

namespace {

QStringList envDirs(const char* var, const QString& fallback) {
    QStringList out;
    for (const QString& d : qEnvironmentVariable(var, fallback).split(':', Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(d)) out << QDir::cleanPath(d);
    return out;
}

QString readText(const QString& path, qint64 limit = 1 << 20) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.read(limit));
}

// The string escapes of desktop entry values.
QString unescapeValue(const QString& v) {
    QString out;
    for (int i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
            const QChar n = v[++i];
            if (n == 's')
                out += ' ';
            else if (n == 'n')
                out += '\n';
            else if (n == 't')
                out += '\t';
            else if (n == 'r')
                out += '\r';
            else if (n == '\\')
                out += '\\';
            else
                out += '\\', out += n;
        } else {
            out += v[i];
        }
    }
    return out;
}

QStringList desktopNames() {
    QStringList out;
    for (const QString& d :
         qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(':', Qt::SkipEmptyParts))
        out << d.toLower();
    return out;
}

// mimeapps.list files in the order they are consulted.
QStringList mimeAppsFiles() {
    QStringList files;
    const QStringList desks = desktopNames();
    for (const QString& dir : xdgConfigDirs()) {
        for (const QString& d : desks) files << dir + '/' + d + "-mimeapps.list";
        files << dir + "/mimeapps.list";
    }
    for (const QString& dir : xdgDataDirs()) {
        for (const QString& d : desks) files << dir + "/applications/" + d + "-mimeapps.list";
        files << dir + "/applications/mimeapps.list";
        files << dir + "/applications/defaults.list";
    }
    return files;
}

QStringList splitList(const QString& v) {
    return v.split(';', Qt::SkipEmptyParts);
}

// Every installed desktop entry: id -> path (earlier data folders win).
QMap<QString, QString> allEntries() {
    QMap<QString, QString> out;
    for (const QString& dir : xdgDataDirs()) {
        const QString apps = dir + "/applications";
        QDirIterator it(apps, {"*.desktop"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QString id = QDir(apps).relativeFilePath(path);
            id.replace('/', '-');
            if (!out.contains(id)) out.insert(id, path);
        }
    }
    return out;
}

} // namespace

QString xdgConfigHome() {
    const QString v = qEnvironmentVariable("XDG_CONFIG_HOME");
    return QDir::isAbsolutePath(v) ? QDir::cleanPath(v) : QDir::homePath() + "/.config";
}

QString xdgDataHome() {
    const QString v = qEnvironmentVariable("XDG_DATA_HOME");
    return QDir::isAbsolutePath(v) ? QDir::cleanPath(v) : QDir::homePath() + "/.local/share";
}

QStringList xdgConfigDirs() {
    return QStringList{xdgConfigHome()} + envDirs("XDG_CONFIG_DIRS", "/etc/xdg");
}

QStringList xdgDataDirs() {
    return QStringList{xdgDataHome()} + envDirs("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
}

QMap<QString, KeyGroup> parseKeyFile(const QString& text) {
    QMap<QString, KeyGroup> groups;
    QString group;
    for (QString line : text.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            group = line.mid(1, line.size() - 2);
            groups[group];
            continue;
        }
        const int eq = line.indexOf('=');
        if (eq <= 0 || group.isEmpty()) continue;
        const QString key = line.left(eq).trimmed();
        KeyGroup& g = groups[group];
        if (!g.contains(key)) g.insert(key, line.mid(eq + 1).trimmed());
    }
    return groups;
}

DesktopEntry DesktopEntry::load(const QString& path) {
    DesktopEntry e;
    if (path.isEmpty()) return e;
    const auto groups = parseKeyFile(readText(path));
    auto it = groups.find("Desktop Entry");
    if (it == groups.end()) return e;
    e.keys = it.value();
    e.valid = true;
    return e;
}

QString DesktopEntry::localized(const QString& key) const {
    const QString lc = QLocale().name(); // "de_DE"
    for (const QString& k : {key + '[' + lc + ']', key + '[' + lc.section('_', 0, 0) + ']', key})
        if (keys.contains(k)) return unescapeValue(keys.value(k));
    return {};
}

bool DesktopEntry::usable() const {
    if (!valid) return false;
    if (value("Hidden").compare("true", Qt::CaseInsensitive) == 0) return false;
    if (!value("Type").isEmpty() && value("Type") != "Application") return false;
    const QString tryExec = unescapeValue(value("TryExec"));
    if (!tryExec.isEmpty() && QStandardPaths::findExecutable(tryExec).isEmpty() &&
        !(QDir::isAbsolutePath(tryExec) && QFileInfo(tryExec).isExecutable()))
        return false;
    return !value("Exec").isEmpty();
}

QStringList DesktopEntry::mimeTypes() const {
    return splitList(value("MimeType"));
}

bool DesktopEntry::expandExec(const QStringList& files, const QString& entryPath,
                              QStringList* out) const {
    const QStringList words = splitCommandLine(unescapeValue(value("Exec")));
    if (words.isEmpty()) return false;
    QStringList args;
    bool usedFiles = false;
    for (const QString& w : words) {
        if (w == "%f" || w == "%u") {
            if (!files.isEmpty()) args << files.first();
            usedFiles = true;
            continue;
        }
        if (w == "%F" || w == "%U") {
            args << files;
            usedFiles = true;
            continue;
        }
        if (w == "%i") {
            if (!value("Icon").isEmpty()) args << "--icon" << value("Icon");
            continue;
        }
        QString a;
        for (int i = 0; i < w.size(); ++i) {
            if (w[i] != '%' || i + 1 >= w.size()) {
                a += w[i];
                continue;
            }
            const QChar code = w[++i];
            if (code == '%')
                a += '%';
            else if (code == 'c')
                a += localized("Name");
            else if (code == 'k')
                a += entryPath;
            else if ((code == 'f' || code == 'u') && !files.isEmpty()) {
                a += files.first();
                usedFiles = true;
            }
            // Deprecated and unknown codes expand to nothing.
        }
        if (a.isEmpty() && w.size() == 2 && w[0] == '%') continue;
        args << a;
    }
    (void)usedFiles;
    if (args.isEmpty() || args.first().isEmpty()) return false;
    *out = args;
    return true;
}

QString findDesktopEntry(const QString& desktopId) {
    if (desktopId.isEmpty() || desktopId.contains("..")) return {};
    for (const QString& dir : xdgDataDirs()) {
        const QString p = dir + "/applications/" + desktopId;
        if (QFileInfo(p).isFile()) return p;
    }
    // Entries in sub-folders have ids with '-' for '/'.
    if (desktopId.contains('-')) return allEntries().value(desktopId);
    return {};
}

QStringList associatedApplications(const QStringList& mimeTypes) {
    struct ListFile {
        KeyGroup defaults, added, removed;
    };
    QList<ListFile> lists;
    for (const QString& f : mimeAppsFiles()) {
        if (!QFileInfo(f).isFile()) continue;
        const auto groups = parseKeyFile(readText(f));
        lists.append({groups.value("Default Applications"), groups.value("Added Associations"),
                      groups.value("Removed Associations")});
    }
    // Every entry is found and read at most once per call.
    const QMap<QString, QString> entries = allEntries();
    QHash<QString, DesktopEntry> loaded;
    auto entry = [&](const QString& id) -> const DesktopEntry& {
        auto it = loaded.find(id);
        if (it == loaded.end()) it = loaded.insert(id, DesktopEntry::load(entries.value(id)));
        return it.value();
    };
    QStringList out;
    QSet<QString> seen;
    auto take = [&](const QString& id) {
        if (seen.contains(id) || !entry(id).usable()) return;
        out << id;
        seen.insert(id);
    };
    for (const QString& type : mimeTypes) {
        QSet<QString> removed;
        for (const ListFile& l : lists)
            for (const QString& id : splitList(l.defaults.value(type)))
                if (!removed.contains(id)) take(id);
        for (const ListFile& l : lists) {
            for (const QString& id : splitList(l.added.value(type)))
                if (!removed.contains(id)) take(id);
            for (const QString& id : splitList(l.removed.value(type))) removed.insert(id);
        }
        for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
            if (seen.contains(it.key()) || removed.contains(it.key())) continue;
            if (entry(it.key()).mimeTypes().contains(type)) take(it.key());
        }
    }
    return out;
}

QStringList availableTerminals() {
    QStringList out;
    for (const QString& t : terminalCandidates()) {
        const QStringList words = splitCommandLine(t);
        if (words.isEmpty()) continue;
        const QString found = QStandardPaths::findExecutable(words.first());
        if (!found.isEmpty() && !out.contains(found)) out << found;
    }
    return out;
}

} // namespace desk
