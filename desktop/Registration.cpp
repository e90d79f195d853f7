#include "desktop/Registration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include "desktop/DesktopEntry.h"

namespace desk {

namespace {

const QString kDesktopId = "olmek95.desktop";

bool writeFile(const QString& path, const QByteArray& data, QString* error) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size() || !f.commit()) {
        if (error) *error = "Cannot write " + path + ": " + f.errorString();
        return false;
    }
    return true;
}

constexpr qint64 kMaxListSize = 4 << 20;

QString readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.read(kMaxListSize));
}

QString escapeXml(QString s) {
    return s.replace('&', "&amp;").replace('<', "&lt;").replace('>', "&gt;").replace('"', "&quot;");
}

// Extensions whose glob is case-sensitive in the system database (".Z").
QString sampleName(const QString& ext) {
    return "archive" + (ext == ".Z" ? ext : ext.toLower());
}

} // namespace

const QStringList& archiveExtensions() {
    static const QStringList exts = {".ARC", ".ARJ", ".CAB", ".GZ", ".HA",  ".LHA", ".LZH",
                                     ".PAK", ".RAR", ".TAR", ".Z",  ".ZIP", ".ZOO"};
    return exts;
}

QList<ExtensionType> archiveMimeTypes() {
    QMimeDatabase db;
    QList<ExtensionType> out;
    for (const QString& ext : archiveExtensions()) {
        ExtensionType t;
        t.extension = ext;
        const QMimeType mt = db.mimeTypeForFile(sampleName(ext), QMimeDatabase::MatchExtension);
        // Our own types once registered count as the program's, not the system's.
        const QString own = "application/x-" + ext.mid(1).toLower();
        if (mt.isValid() && !mt.isDefault() && mt.name() != own) {
            t.mimeType = mt.name();
        } else {
            t.mimeType = own;
            t.ours = true;
        }
        out.append(t);
    }
    return out;
}

QString desktopEntryFile() {
    return xdgDataHome() + "/applications/" + kDesktopId;
}
QString mimePackageFile() {
    return xdgDataHome() + "/mime/packages/olmek95.xml";
}
QString mimeAppsListFile() {
    return xdgConfigHome() + "/mimeapps.list";
}

QString quoteExecArgument(const QString& arg) {
    static const QString reserved = " \t\n\"'\\><~|&;$*?#()`=%";
    bool needs = arg.isEmpty();
    for (const QChar c : arg)
        if (reserved.contains(c)) needs = true;
    QString a = arg;
    a.replace('%', "%%");
    if (!needs) return a;
    QString q = "\"";
    for (const QChar c : a) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') q += '\\';
        q += c;
    }
    q += '"';
    // The value itself is a desktop-entry string, whose backslashes are escaped again.
    return q.replace("\\", "\\\\");
}

QString mergeMimeAppsList(const QString& text, const QStringList& mimeTypes,
                          const QString& desktopId) {
    QStringList lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    const QString group = "[Default Applications]";
    int start = -1;
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].trimmed() == group) {
            start = i;
            break;
        }
    if (start < 0) {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) lines << QString();
        lines << group;
        start = static_cast<int>(lines.size()) - 1;
    }
    int end = start + 1;
    while (end < lines.size() && !lines[end].trimmed().startsWith('[')) ++end;
    QStringList remaining = mimeTypes;
    for (int i = start + 1; i < end; ++i) {
        const int eq = lines[i].indexOf('=');
        if (eq <= 0 || lines[i].trimmed().startsWith('#')) continue;
        const QString key = lines[i].left(eq).trimmed();
        if (!remaining.contains(key)) continue;
        lines[i] = key + '=' + desktopId + ';';
        remaining.removeAll(key);
    }
    // Keep the group's own trailing blank line after the new entries.
    int insertAt = end;
    while (insertAt > start + 1 && lines[insertAt - 1].trimmed().isEmpty()) --insertAt;
    for (const QString& type : remaining) lines.insert(insertAt++, type + '=' + desktopId + ';');
    return lines.join('\n') + '\n';
}

bool RegisterFileTypes(const QString& programPath, QString* error, bool runUpdateDatabase) {
    const QList<ExtensionType> types = archiveMimeTypes();
    QStringList mimeNames;
    bool anyOurs = false;
    for (const ExtensionType& t : types) {
        if (!mimeNames.contains(t.mimeType)) mimeNames << t.mimeType;
        anyOurs = anyOurs || t.ours;
    }

    // The desktop entry.
    const QString program = QFileInfo(programPath).absoluteFilePath();
    QString entry;
    entry += "[Desktop Entry]\n";
    entry += "Type=Application\n";
    entry += "Name=OLMEK 95\n";
    entry += "GenericName=Archiver\n";
    entry += "Comment=OLMEK 95 File\n";
    entry += "Exec=" + quoteExecArgument(program) + " %f\n";
    entry += "Icon=package-x-generic\n";
    entry += "Terminal=false\n";
    entry += "Categories=Utility;Archiving;Compression;\n";
    entry += "MimeType=" + mimeNames.join(';') + ";\n";
    if (readFile(desktopEntryFile()) != entry &&
        !writeFile(desktopEntryFile(), entry.toUtf8(), error))
        return false;

    // Types for the extensions the system does not know.
    if (anyOurs) {
        QString xml =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
        for (const ExtensionType& t : types) {
            if (!t.ours) continue;
            xml += "  <mime-type type=\"" + escapeXml(t.mimeType) + "\">\n";
            xml += "    <comment>" + escapeXml(t.extension.mid(1) + " archive") + "</comment>\n";
            xml += "    <generic-icon name=\"package-x-generic\"/>\n";
            xml += "    <glob pattern=\"*" + escapeXml(t.extension.toLower()) + "\"/>\n";
            xml += "  </mime-type>\n";
        }
        xml += "</mime-info>\n";
        if (readFile(mimePackageFile()) != xml) {
            if (!writeFile(mimePackageFile(), xml.toUtf8(), error)) return false;
            const QString updater = QStandardPaths::findExecutable("update-mime-database");
            if (runUpdateDatabase && !updater.isEmpty()) {
                QProcess p;
                p.setProcessChannelMode(QProcess::MergedChannels);
                p.start(updater, {xdgDataHome() + "/mime"});
                if (p.waitForStarted(5000)) p.waitForFinished(30000);
            }
        }
    }

    // Defaults: existing associations of the archive types are overwritten,
    // everything else in the file stays.
    const QString listFile = mimeAppsListFile();
    // A list we could not read whole is left alone rather than cut short.
    const QFileInfo listInfo(listFile);
    if (listInfo.exists() && (!listInfo.isFile() || listInfo.size() > kMaxListSize ||
                              !QFile(listFile).open(QIODevice::ReadOnly))) {
        if (error) *error = "Cannot read " + listFile;
        return false;
    }
    const QString old = readFile(listFile);
    const QString merged = mergeMimeAppsList(old, mimeNames, kDesktopId);
    if (merged != old && !writeFile(listFile, merged.toUtf8(), error)) return false;
    return true;
}

} // namespace desk
