// Saved design properties by name.
#include "core/property_bag.h"

#include <QSettings>

namespace vantoro {

QVariant PropertyBag::read(const QString &name, const QVariant &defaultValue) const
{
    const auto it = m_values.constFind(name);
    return it == m_values.cend() ? defaultValue : it.value();
}

void PropertyBag::write(const QString &name, const QVariant &value, const QVariant &defaultValue)
{
    if (defaultValue.isValid() && value == defaultValue)
        m_values.remove(name);
    else
        m_values.insert(name, value);
}

PropertyBag PropertyBag::load(QSettings &settings, const QString &group)
{
    QVariantMap values;
    settings.beginGroup(group);
    const QStringList keys = settings.childKeys();
    for (const QString &key : keys)
        values.insert(key, settings.value(key));
    settings.endGroup();
    return PropertyBag(values);
}

void PropertyBag::save(QSettings &settings, const QString &group) const
{
    settings.beginGroup(group);
    settings.remove(QString());
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it)
        settings.setValue(it.key(), it.value());
    settings.endGroup();
}

} // namespace vantoro
