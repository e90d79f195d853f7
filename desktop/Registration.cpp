#include "desktop/Registration.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>

#include "desktop/AppIcon.h"
#include "desktop/DesktopEntry.h"

namespace desk {

namespace {

const QString kDesktopId = QString(kDesktopName) + ".desktop";

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

// The data folders of the system, without the user's own.
QStringList systemDataDirs() {
    return xdgDataDirs().mid(1);
}

// The types a package file of ours declares.
QSet<QString> declaredTypes(const QString& packageFile) {
    QSet<QString> out;
    static const QRegularExpression re("<mime-type\\s+type=\"([^\"]+)\"");
    auto it = re.globalMatch(readFile(packageFile));
    while (it.hasNext()) out.insert(it.next().captured(1));
    return out;
}

// The type the system's MIME databases give files with that extension
// (their generated glob lists; the first folder that has one wins, and in
// it the heaviest glob); empty when none does.  Only the extension counts:
// a type the system knows by content alone (ARC) still needs our glob.
QString systemTypeForExtension(const QString& ext) {
    const QString pattern = "*" + sampleName(ext).mid(sampleName(ext).indexOf('.'));
    for (const QString& dir : systemDataDirs()) {
        QFile f(dir + "/mime/globs2");
        if (!f.open(QIODevice::ReadOnly)) continue;
        QString best;
        int bestWeight = -1;
        while (!f.atEnd()) {
            // weight:type:pattern[:flags]
            const QStringList fields = QString::fromUtf8(f.readLine()).trimmed().split(':');
            if (fields.size() < 3 || fields[0].startsWith('#')) continue;
            const bool caseSensitive = fields.size() > 3 && fields[3].split(',').contains("cs");
            if (fields[2].compare(pattern,
                                  caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive) != 0)
                continue;
            const int weight = fields[0].toInt();
            if (weight > bestWeight) best = fields[1], bestWeight = weight;
        }
        if (!best.isEmpty()) return best;
    }
    return {};
}

bool samePath(const QString& a, const QString& b) {
    const QString ca = QFileInfo(a).canonicalFilePath(), cb = QFileInfo(b).canonicalFilePath();
    if (!ca.isEmpty() && !cb.isEmpty()) return ca == cb;
    return QDir::cleanPath(QFileInfo(a).absoluteFilePath()) ==
           QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

// The program a desktop entry starts, found on PATH when the entry names
// it without a folder; empty when the entry starts nothing.
QString entryProgram(const QString& entryPath) {
    const DesktopEntry e = DesktopEntry::load(entryPath);
    QStringList args;
    if (!e.valid || !e.expandExec({}, entryPath, &args)) return {};
    if (args.first().contains('/')) return args.first();
    return QStandardPaths::findExecutable(args.first());
}

QStringList typeNames(const QList<ExtensionType>& types) {
    QStringList names;
    for (const ExtensionType& t : types)
        if (!names.contains(t.mimeType)) names << t.mimeType;
    return names;
}

// The icon files of the user's icon theme folder and their contents.
QList<QPair<QString, QByteArray>> userIconFiles() {
    const QString base = xdgDataHome() + "/icons/hicolor/";
    const QString file = QString("/apps/") + kAppIconName;
    QList<QPair<QString, QByteArray>> out;
    for (int size : appIconSizes()) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        appIconImage(size).save(&buffer, "PNG");
        out.append({base + QString("%1x%1").arg(size) + file + ".png", png});
    }
    out.append({base + "scalable" + file + ".svg", appIconSvg()});
    return out;
}

QByteArray readBytes(const QString& path, qint64 limit) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(limit) : QByteArray();
}

void updateUserMimeDatabase() {
    const QString updater = QStandardPaths::findExecutable("update-mime-database");
    if (updater.isEmpty()) return;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(updater, {xdgDataHome() + "/mime"});
    if (p.waitForStarted(5000)) p.waitForFinished(30000);
}

} // namespace

const QStringList& archiveExtensions() {
    static const QStringList exts = {".ARC", ".ARJ", ".CAB", ".GZ", ".HA",  ".LHA", ".LZH",
                                     ".PAK", ".RAR", ".TAR", ".Z",  ".ZIP", ".ZOO"};
    return exts;
}

QList<ExtensionType> archiveMimeTypes() {
    QMimeDatabase db;
    // Types our own package file declares are not taken for the system's,
    // or the registration would drop them at the next start.
    const QSet<QString> ownDeclared = declaredTypes(mimePackageFile());
    QList<ExtensionType> out;
    for (const QString& ext : archiveExtensions()) {
        ExtensionType t;
        t.extension = ext;
        t.mimeType = systemTypeForExtension(ext);
        if (t.mimeType.isEmpty()) {
            // Another program's registration for the user counts too.
            const QMimeType mt = db.mimeTypeForFile(sampleName(ext), QMimeDatabase::MatchExtension);
            if (mt.isValid() && !mt.isDefault() && !ownDeclared.contains(mt.name()))
                t.mimeType = mt.name();
        }
        if (t.mimeType.isEmpty()) {
            t.mimeType = "application/x-" + ext.mid(1).toLower();
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
                          const QString& desktopId, bool keepOtherDefaults) {
    QStringList lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    const QString group = "[Default Applications]";
    int start = -1;
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].trimmed() == group) {
            start = i;
            break;
        }
    QStringList remaining = mimeTypes;
    if (keepOtherDefaults) {
        // Types whose association with the program the user removed get no default.
        const KeyGroup removed = parseKeyFile(text).value("Removed Associations");
        for (auto it = removed.begin(); it != removed.end(); ++it)
            if (it.value().split(';', Qt::SkipEmptyParts).contains(desktopId))
                remaining.removeAll(it.key());
    }
    if (start < 0) {
        if (remaining.isEmpty()) return text;
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) lines << QString();
        lines << group;
        start = static_cast<int>(lines.size()) - 1;
    }
    int end = start + 1;
    while (end < lines.size() && !lines[end].trimmed().startsWith('[')) ++end;
    for (int i = start + 1; i < end; ++i) {
        const int eq = lines[i].indexOf('=');
        if (eq <= 0 || lines[i].trimmed().startsWith('#')) continue;
        const QString key = lines[i].left(eq).trimmed();
        if (!remaining.contains(key)) continue;
        remaining.removeAll(key);
        const bool chosen = !lines[i].mid(eq + 1).trimmed().isEmpty();
        if (keepOtherDefaults && chosen) continue;
        lines[i] = key + '=' + desktopId + ';';
    }
    // Keep the group's own trailing blank line after the new entries.
    int insertAt = end;
    while (insertAt > start + 1 && lines[insertAt - 1].trimmed().isEmpty()) --insertAt;
    for (const QString& type : remaining) lines.insert(insertAt++, type + '=' + desktopId + ';');
    return lines.join('\n') + '\n';
}

QString desktopEntryText(const QString& program, const QStringList& mimeTypes) {
    QString entry;
    entry += "[Desktop Entry]\n";
    entry += "Type=Application\n";
    entry += "Name=OLMEK 95\n";
    entry += "GenericName=Archiver\n";
    entry += "Comment=OLMEK 95 File\n";
    entry += "Exec=" + quoteExecArgument(program) + " %f\n";
    entry += QString("Icon=") + kAppIconName + "\n";
    entry += "Terminal=false\n";
    entry += "Categories=Utility;Archiving;Compression;\n";
    entry += "MimeType=" + mimeTypes.join(';') + ";\n";
    return entry;
}

QString systemDesktopEntry(const QString& programPath) {
    for (const QString& dir : systemDataDirs()) {
        const QString path = dir + "/applications/" + kDesktopId;
        if (!QFileInfo(path).isFile()) continue;
        // The first entry of that name is the one the desktop uses.
        if (!DesktopEntry::load(path).usable()) return {};
        const QString program = entryProgram(path);
        return !program.isEmpty() && samePath(program, programPath) ? path : QString();
    }
    return {};
}

bool RegisterFileTypes(const QString& programPath, QString* error, bool runUpdateDatabase) {
    const QList<ExtensionType> types = archiveMimeTypes();
    const QStringList mimeNames = typeNames(types);
    bool anyOurs = false;
    for (const ExtensionType& t : types) anyOurs = anyOurs || t.ours;
    // Installed with the system's registration: the menu entry, the icon and
    // the association come from there, and the user's own defaults stay.
    const bool installed = !systemDesktopEntry(programPath).isEmpty();

    // The desktop entry.
    const QString userEntry = desktopEntryFile();
    if (installed) {
        // One we wrote for a program run elsewhere would hide the system's; one
        // the user edited stays.
        QString old = readFile(userEntry);
        // Entries of earlier versions showed a stock icon.
        old.replace("\nIcon=package-x-generic\n", QString("\nIcon=") + kAppIconName + "\n");
        if (!old.isEmpty() && old == desktopEntryText(entryProgram(userEntry), mimeNames))
            QFile::remove(userEntry);
    } else {
        const QString entry =
            desktopEntryText(QFileInfo(programPath).absoluteFilePath(), mimeNames);
        if (readFile(userEntry) != entry && !writeFile(userEntry, entry.toUtf8(), error))
            return false;
    }

    // The icon, which the system's icon theme has when installed.
    for (const auto& [path, data] : userIconFiles()) {
        const bool same = readBytes(path, data.size() + 1) == data;
        if (installed && same)
            QFile::remove(path);
        else if (!installed && !same && !writeFile(path, data, error))
            return false;
    }

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
            if (runUpdateDatabase) updateUserMimeDatabase();
        }
    } else if (QFile::exists(mimePackageFile())) {
        // The system has come to define them all (the installed package).
        if (!QFile::remove(mimePackageFile())) {
            if (error) *error = "Cannot remove " + mimePackageFile();
            return false;
        }
        if (runUpdateDatabase) updateUserMimeDatabase();
    }

    // Defaults.  Run from where it was built, the program makes itself the
    // default of every archive type, as its registration always did; installed,
    // only of the types the user gave no default.
    const QString listFile = mimeAppsListFile();
    // A list we could not read whole is left alone rather than cut short.
    const QFileInfo listInfo(listFile);
    if (listInfo.exists() && (!listInfo.isFile() || listInfo.size() > kMaxListSize ||
                              !QFile(listFile).open(QIODevice::ReadOnly))) {
        if (error) *error = "Cannot read " + listFile;
        return false;
    }
    const QString old = readFile(listFile);
    const QString merged = mergeMimeAppsList(old, mimeNames, kDesktopId, installed);
    if (merged != old && !writeFile(listFile, merged.toUtf8(), error)) return false;
    return true;
}

} // namespace desk
