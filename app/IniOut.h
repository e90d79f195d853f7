// Persists chosen properties of a form's widgets in the settings store.
// Each item is one line "component;property;default;key;value;unused;loadOnly".
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

enum TRegRoots {
    CLASSES_ROOT,
    CURRENT_USER,
    LOCAL_MACHINE,
    USERS,
    PERFORMANCE_DATA,
    CURRENT_CONFIG,
    DYN_DATA,
};

class TIniOut : public QObject {
    Q_OBJECT
public:
    explicit TIniOut(QWidget* owner);

    QStringList Items;
    // Only the current user's store exists on this platform; items under
    // any other root load their defaults and are never saved.
    TRegRoots RegistryRoot = CURRENT_USER;

    const QString& FileName() const { return FileName_; }
    void SetFileName(const QString& value);

    void Load();
    void Save();
    QString ReadValue(const QString& key, const QString& name, const QString& def);
    void WriteValue(const QString& key, const QString& name, const QString& text);

    // Texts of items that could not be converted on the last Load (the
    // item's default was applied instead).
    QStringList LoadErrors;

    // The value text of a property and its inverse; false when the
    // component does not have the property or the text does not convert.
    static bool propertyText(QObject* component, const QString& property, QObject* form,
                             QString& text);
    static bool setPropertyText(QObject* component, const QString& property, QObject* form,
                                const QString& text);

private:
    struct Item {
        QString component, property, def, key, value;
        bool loadOnly = false;
    };
    static bool parseItem(const QString& line, Item& item);
    QObject* findComponent(const QString& name) const;

    QWidget* owner_;
    QString FileName_;
};
