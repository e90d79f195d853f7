#include "app/IniOut.h"

#include <QAbstractButton>
#include <QColor>
#include <QComboBox>
#include <QCursor>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

#include <array>
#include <utility>

#include "app/Settings.h"

namespace {

constexpr int kMaxExtent = 16384;

QString trimControl(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && s[b].unicode() < 33) ++b;
    while (e > b && s[e - 1].unicode() < 33) --e;
    return s.mid(b, e - b);
}

bool storedTrue(const QString& text) {
    return !text.isEmpty() && QStringLiteral("1TYty").contains(text[0]);
}

const std::array<std::pair<const char*, Qt::WindowState>, 3> kWindowStates{{
    {"wsNormal", Qt::WindowNoState},
    {"wsMinimized", Qt::WindowMinimized},
    {"wsMaximized", Qt::WindowMaximized},
}};

const std::array<std::pair<const char*, QRgb>, 16> kColourNames{{
    {"clBlack", 0x000000},
    {"clMaroon", 0x800000},
    {"clGreen", 0x008000},
    {"clOlive", 0x808000},
    {"clNavy", 0x000080},
    {"clPurple", 0x800080},
    {"clTeal", 0x008080},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0xFF0000},
    {"clLime", 0x00FF00},
    {"clYellow", 0xFFFF00},
    {"clBlue", 0x0000FF},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0x00FFFF},
    {"clWhite", 0xFFFFFF},
}};

const std::array<std::pair<const char*, Qt::CursorShape>, 14> kCursorNames{{
    {"crDefault", Qt::ArrowCursor},
    {"crArrow", Qt::ArrowCursor},
    {"crCross", Qt::CrossCursor},
    {"crIBeam", Qt::IBeamCursor},
    {"crSizeNESW", Qt::SizeBDiagCursor},
    {"crSizeNS", Qt::SizeVerCursor},
    {"crSizeNWSE", Qt::SizeFDiagCursor},
    {"crSizeWE", Qt::SizeHorCursor},
    {"crUpArrow", Qt::UpArrowCursor},
    {"crHourGlass", Qt::WaitCursor},
    {"crNo", Qt::ForbiddenCursor},
    {"crAppStart", Qt::BusyCursor},
    {"crHandPoint", Qt::PointingHandCursor},
    {"crSizeAll", Qt::SizeAllCursor},
}};

// Colours are stored the platform's way: 0x00BBGGRR as a decimal number
// when no identifier matches.
QString colourText(const QColor& c) {
    const QRgb rgb = c.rgb() & 0xFFFFFF;
    for (const auto& [name, value] : kColourNames)
        if (value == rgb) return QString::fromLatin1(name);
    const int bgr = (qBlue(rgb) << 16) | (qGreen(rgb) << 8) | qRed(rgb);
    return QString::number(bgr);
}

bool parseColour(const QString& text, QColor& c) {
    for (const auto& [name, value] : kColourNames)
        if (text.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) {
            c = QColor(value);
            return true;
        }
    bool ok = false;
    const int bgr = text.startsWith('$') ? text.mid(1).toInt(&ok, 16) : text.toInt(&ok);
    if (!ok || bgr < 0 || bgr > 0xFFFFFF) return false;
    c = QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
    return true;
}

QString enumText(const QMetaEnum& e, int value) {
    const char* key = e.valueToKey(value);
    if (!key && e.keyCount() > 0) key = e.key(0);
    return QString::fromLatin1(key ? key : "");
}

QString setText(const QMetaEnum& e, int value) {
    QStringList members;
    for (int i = 0; i < e.keyCount(); ++i) {
        const int bit = e.value(i);
        // Only single-bit identifiers are elements; combinations are names for sets.
        if (bit != 0 && (bit & (bit - 1)) == 0 && (value & bit) == bit)
            members << QString::fromLatin1(e.key(i));
    }
    return '[' + members.join(',') + ']';
}

int parseSet(const QMetaEnum& e, const QString& text) {
    int value = 0;
    for (int i = 0; i < e.keyCount(); ++i) {
        const int bit = e.value(i);
        if (bit != 0 && (bit & (bit - 1)) == 0 && text.contains(QLatin1String(e.key(i))))
            value |= bit;
    }
    return value;
}

QObject* findOnForm(QObject* form, const QString& name) {
    if (!form || name.isEmpty()) return nullptr;
    if (form->objectName().compare(name, Qt::CaseInsensitive) == 0) return form;
    const auto children = form->findChildren<QObject*>();
    for (QObject* o : children)
        if (o->objectName().compare(name, Qt::CaseInsensitive) == 0) return o;
    return nullptr;
}

bool isTopLevel(QObject* o) {
    auto* w = qobject_cast<QWidget*>(o);
    return w && w->isWindow();
}

// Properties whose stored names differ from Qt's.
enum class Special { None, Height, Width, Left, Top, WindowState, Text, Items, Checked, Caption };

Special specialOf(QObject* o, const QString& property) {
    auto* w = qobject_cast<QWidget*>(o);
    if (!w) return Special::None;
    const QString p = property.toLower();
    if (p == "height") return Special::Height;
    if (p == "width") return Special::Width;
    if (p == "left") return Special::Left;
    if (p == "top") return Special::Top;
    if (p == "windowstate") return Special::WindowState;
    if (p == "caption") return Special::Caption;
    if (p == "text" && (qobject_cast<QComboBox*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
                        qobject_cast<QTextEdit*>(w) || isTopLevel(w)))
        return Special::Text;
    if (p == "items" && (qobject_cast<QComboBox*>(w) || qobject_cast<QListWidget*>(w)))
        return Special::Items;
    if (p == "checked" && qobject_cast<QAbstractButton*>(w)) return Special::Checked;
    return Special::None;
}

QRect restoreGeometry(QWidget* w) {
    // A maximised window keeps its normal bounds for the next start.
    if (w->isWindow() && (w->windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)))
        return w->normalGeometry().isValid() ? w->normalGeometry() : w->geometry();
    return w->geometry();
}

QString specialText(QWidget* w, Special s) {
    switch (s) {
    case Special::Height:
        return QString::number(restoreGeometry(w).height());
    case Special::Width:
        return QString::number(restoreGeometry(w).width());
    case Special::Left:
        return QString::number(restoreGeometry(w).x());
    case Special::Top:
        return QString::number(restoreGeometry(w).y());
    case Special::WindowState: {
        const Qt::WindowStates st = w->windowState();
        if (st & Qt::WindowMinimized) return "wsMinimized";
        if (st & Qt::WindowMaximized) return "wsMaximized";
        return "wsNormal";
    }
    case Special::Caption:
        return w->isWindow() ? w->windowTitle() : w->property("text").toString();
    case Special::Text:
        if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
        if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText();
        if (auto* t = qobject_cast<QTextEdit*>(w)) return t->toPlainText();
        return w->windowTitle();
    case Special::Items: {
        QStringList lines;
        if (auto* c = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < c->count(); ++i) lines << c->itemText(i);
        if (auto* l = qobject_cast<QListWidget*>(w))
            for (int i = 0; i < l->count(); ++i) lines << l->item(i)->text();
        return lines.join('|');
    }
    case Special::Checked:
        return qobject_cast<QAbstractButton*>(w)->isChecked() ? "1" : "0";
    case Special::None:
        break;
    }
    return {};
}

bool setSpecialText(QWidget* w, Special s, const QString& text) {
    bool ok = true;
    int n = 0;
    if (s == Special::Height || s == Special::Width || s == Special::Left || s == Special::Top) {
        n = text.trimmed().toInt(&ok);
        if (!ok) return false;
        // A damaged store must not ask for a window no screen can show
        // (nor the memory behind it).
        const bool size = s == Special::Height || s == Special::Width;
        if (size ? (n < 0 || n > kMaxExtent) : (n < -kMaxExtent || n > kMaxExtent)) return false;
    }
    switch (s) {
    case Special::Height:
        w->resize(w->width(), n);
        break;
    case Special::Width:
        w->resize(n, w->height());
        break;
    case Special::Left:
        w->move(n, w->y());
        break;
    case Special::Top:
        w->move(w->x(), n);
        break;
    case Special::WindowState: {
        for (const auto& [name, state] : kWindowStates)
            if (text.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) {
                w->setWindowState(state);
                return true;
            }
        return false;
    }
    case Special::Caption:
        if (w->isWindow())
            w->setWindowTitle(text);
        else
            w->setProperty("text", text);
        break;
    case Special::Text:
        if (auto* c = qobject_cast<QComboBox*>(w)) {
            if (c->isEditable())
                c->setEditText(text);
            else
                c->setCurrentIndex(c->findText(text));
        } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
            p->setPlainText(text);
        } else if (auto* t = qobject_cast<QTextEdit*>(w)) {
            t->setPlainText(text);
        } else {
            w->setWindowTitle(text);
        }
        break;
    case Special::Items: {
        const QStringList lines = text.isEmpty() ? QStringList() : text.split('|');
        if (auto* c = qobject_cast<QComboBox*>(w)) {
            const QString current = c->currentText();
            c->clear();
            c->addItems(lines);
            if (c->isEditable()) c->setEditText(current);
        }
        if (auto* l = qobject_cast<QListWidget*>(w)) {
            l->clear();
            l->addItems(lines);
        }
        break;
    }
    case Special::Checked:
        qobject_cast<QAbstractButton*>(w)->setChecked(storedTrue(text));
        break;
    case Special::None:
        return false;
    }
    return true;
}

// The Qt property a stored name refers to: the name as given, else with a
// lower-case first letter ("Enabled" -> "enabled").
QMetaProperty findProperty(QObject* o, const QString& property) {
    const QMetaObject* mo = o->metaObject();
    int index = mo->indexOfProperty(property.toLatin1().constData());
    if (index < 0 && !property.isEmpty()) {
        QString lower = property;
        lower[0] = lower[0].toLower();
        index = mo->indexOfProperty(lower.toLatin1().constData());
    }
    if (index < 0) {
        for (int i = 0; i < mo->propertyCount(); ++i)
            if (property.compare(QLatin1String(mo->property(i).name()), Qt::CaseInsensitive) == 0)
                return mo->property(i);
        return {};
    }
    return mo->property(index);
}

bool isIntegerType(int id) {
    switch (id) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

} // namespace

TIniOut::TIniOut(QWidget* owner) : QObject(owner), owner_(owner) {
    setObjectName("IniOut1");
}

void TIniOut::SetFileName(const QString& value) {
    const QFileInfo info(value);
    QString base = value;
    if (!info.suffix().isEmpty()) base.chop(info.suffix().size() + 1);
    FileName_ = (base + ".INI").toUpper();
}

bool TIniOut::propertyText(QObject* component, const QString& property, QObject* form,
                           QString& text) {
    if (!component) return false;
    const Special s = specialOf(component, property);
    if (s != Special::None) {
        text = specialText(static_cast<QWidget*>(component), s);
        return true;
    }
    const QMetaProperty mp = findProperty(component, property);
    if (!mp.isValid() || !mp.isReadable()) return false;
    const QVariant v = mp.read(component);
    const int id = mp.metaType().id();
    if (mp.isFlagType()) {
        text = setText(mp.enumerator(), v.toInt());
    } else if (mp.isEnumType()) {
        text = enumText(mp.enumerator(), v.toInt());
    } else if (id == QMetaType::Bool) {
        text = v.toBool() ? "1" : "0";
    } else if (id == QMetaType::QString) {
        text = v.toString();
    } else if (isIntegerType(id)) {
        text = v.toString();
    } else if (id == QMetaType::QChar) {
        text = QString(v.toChar());
    } else if (id == QMetaType::Double || id == QMetaType::Float) {
        text = QLocale().toString(v.toDouble(), 'g', 15);
    } else if (id == QMetaType::QColor) {
        text = colourText(v.value<QColor>());
    } else if (id == QMetaType::QCursor) {
        const Qt::CursorShape shape = v.value<QCursor>().shape();
        text = QString::number(int(shape));
        for (const auto& [name, value] : kCursorNames)
            if (value == shape) {
                text = QString::fromLatin1(name);
                break;
            }
    } else if (id == QMetaType::QStringList) {
        text = v.toStringList().join('|');
    } else if (mp.metaType().flags() & QMetaType::PointerToQObject) {
        QObject* ref = v.value<QObject*>();
        text = ref ? ref->objectName() : QString();
    } else {
        return false;
    }
    (void)form;
    return true;
}

bool TIniOut::setPropertyText(QObject* component, const QString& property, QObject* form,
                              const QString& text) {
    if (!component) return false;
    const Special s = specialOf(component, property);
    if (s != Special::None) return setSpecialText(static_cast<QWidget*>(component), s, text);
    const QMetaProperty mp = findProperty(component, property);
    if (!mp.isValid() || !mp.isWritable()) return false;
    const int id = mp.metaType().id();
    QVariant v;
    bool ok = true;
    if (mp.isFlagType()) {
        v = parseSet(mp.enumerator(), text);
    } else if (mp.isEnumType()) {
        const int value = mp.enumerator().keyToValue(text.trimmed().toLatin1().constData(), &ok);
        v = value;
    } else if (id == QMetaType::Bool) {
        v = storedTrue(text);
    } else if (id == QMetaType::QString) {
        v = text;
    } else if (isIntegerType(id)) {
        const qlonglong n = text.trimmed().toLongLong(&ok);
        v = n;
    } else if (id == QMetaType::QChar) {
        v = text.isEmpty() ? QChar() : text[0];
    } else if (id == QMetaType::Double || id == QMetaType::Float) {
        v = QLocale().toDouble(text.trimmed(), &ok);
    } else if (id == QMetaType::QColor) {
        QColor c;
        ok = parseColour(text.trimmed(), c);
        v = c;
    } else if (id == QMetaType::QCursor) {
        ok = false;
        for (const auto& [name, value] : kCursorNames)
            if (text.trimmed().compare(QLatin1String(name), Qt::CaseInsensitive) == 0) {
                v = QCursor(value);
                ok = true;
                break;
            }
        if (!ok) {
            const int shape = text.trimmed().toInt(&ok);
            ok = ok && shape >= 0 && shape <= Qt::LastCursor;
            if (ok) v = QCursor(Qt::CursorShape(shape));
        }
    } else if (id == QMetaType::QStringList) {
        v = text.isEmpty() ? QStringList() : text.split('|');
    } else if (mp.metaType().flags() & QMetaType::PointerToQObject) {
        QObject* ref = findOnForm(form, text.trimmed());
        if (!text.trimmed().isEmpty() && !ref) return false;
        v = QVariant::fromValue(ref);
    } else {
        return false;
    }
    if (!ok) return false;
    if (!v.convert(mp.metaType())) return false;
    return mp.write(component, v);
}

bool TIniOut::parseItem(const QString& line, Item& item) {
    const QStringList f = line.split(';');
    auto field = [&](int i) { return i < f.size() ? trimControl(f[i]) : QString(); };
    item.component = field(0);
    item.property = field(1);
    item.def = field(2);
    item.key = field(3);
    item.value = field(4);
    item.loadOnly = field(6) == "1";
    return !(item.component.isEmpty() && item.property.isEmpty() && item.key.isEmpty() &&
             item.value.isEmpty());
}

QObject* TIniOut::findComponent(const QString& name) const {
    return findOnForm(owner_, name);
}

void TIniOut::Load() {
    LoadErrors.clear();
    for (const QString& line : Items) {
        Item item;
        if (!parseItem(line, item)) continue;
        QObject* c = findComponent(item.component);
        QString current;
        if (!c || !propertyText(c, item.property, owner_, current)) continue;
        const bool stored = RegistryRoot == CURRENT_USER && app::keyExists(item.key) &&
                            app::valueExists(item.key, item.value);
        const QString text = stored ? app::readValue(item.key, item.value, item.def) : item.def;
        if (setPropertyText(c, item.property, owner_, text)) continue;
        // A stored text that does not fit the property must not stop the
        // form: report it and fall back to the item's default.
        LoadErrors << QString("%1.%2: \"%3\"").arg(item.component, item.property, text);
        if (stored) setPropertyText(c, item.property, owner_, item.def);
    }
}

void TIniOut::Save() {
    if (RegistryRoot != CURRENT_USER) return;
    for (const QString& line : Items) {
        Item item;
        if (!parseItem(line, item) || item.loadOnly) continue;
        QString text;
        if (!propertyText(findComponent(item.component), item.property, owner_, text)) continue;
        app::writeValue(item.key, item.value, text);
    }
    app::syncSettings();
}

QString TIniOut::ReadValue(const QString& key, const QString& name, const QString& def) {
    if (RegistryRoot != CURRENT_USER) return def;
    return app::readValue(key, name, def);
}

void TIniOut::WriteValue(const QString& key, const QString& name, const QString& text) {
    if (RegistryRoot != CURRENT_USER) return;
    app::writeValue(key, name, text);
    app::syncSettings();
}
