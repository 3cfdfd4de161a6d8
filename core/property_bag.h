// A control's saved design properties, kept by name: what the host stores
// for the control and hands back when it is created again.
#pragma once

#include <QString>
#include <QVariantMap>

class QSettings;

namespace vantoro {

class PropertyBag
{
public:
    PropertyBag() = default;
    explicit PropertyBag(QVariantMap values) : m_values(std::move(values)) {}

    // The stored value of `name`, or `defaultValue` when the name is missing.
    QVariant read(const QString &name, const QVariant &defaultValue = QVariant()) const;
    // Stores `value` under `name`; a value equal to the default is not kept,
    // so a later change of the default reaches old bags.
    void write(const QString &name, const QVariant &value, const QVariant &defaultValue = QVariant());
    bool contains(const QString &name) const { return m_values.contains(name); }

    const QVariantMap &values() const { return m_values; }

    // The bag kept in `group` of a settings store.
    static PropertyBag load(QSettings &settings, const QString &group);
    void save(QSettings &settings, const QString &group) const;

private:
    QVariantMap m_values;
};

} // namespace vantoro
