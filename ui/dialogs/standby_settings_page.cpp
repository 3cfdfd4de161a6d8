// The night settings page.
#include "ui/dialogs/standby_settings_page.h"

#include "core/station_bus.h"

#include "core/localisation.h"
#include "core/sys_set_values.h"
#include "core/system_settings.h"
#include "events/device_sleep.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

namespace vantoro {

namespace {

QString text(const char *key, const char *fallback)
{
    return langText(QStringLiteral("pageStandby"), QString::fromLatin1(key), LANGUAGE_CURRENT,
                    QString::fromUtf8(fallback));
}

} // namespace

StandbySettingsPage::StandbySettingsPage(QWidget *parent)
    : SettingsPage(parent)
    , m_percent(new QLineEdit(this))
    , m_watts(new QLabel(this))
{
    setObjectName(QStringLiteral("pageStandby"));
    m_percent->setObjectName(QStringLiteral("txtStandbyPercent"));
    m_watts->setObjectName(QStringLiteral("lblStandbyWatts"));
    auto *form = new QFormLayout(this);
    form->addRow(text("lblStandby", "Asleep below (% of the rating)"), m_percent);
    form->addRow(QString(), m_watts);
    auto *note = new QLabel(text("lblNote", "While the device is asleep its DC input is not judged, and a device "
                                            "that stops answering within ten minutes of falling asleep is asleep, "
                                            "not lost (for a night at most). 0 switches this off."),
                            this);
    note->setWordWrap(true);
    form->addRow(note);
    connect(m_percent, &QLineEdit::textChanged, this, &StandbySettingsPage::showWatts);
}

QString StandbySettingsPage::title() const
{
    return text("Title", "Night");
}

void StandbySettingsPage::load()
{
    m_percent->setText(QString::number(sysSettings.StandbyPercent));
    showWatts();
}

void StandbySettingsPage::showWatts()
{
    const std::optional<double> percent = standbyPercentFromText(m_percent->text());
    // Shown for the first device's rating; each device applies the share to its own.
    const QList<DeviceInfo> &devices = stationBus().devices();
    const QString rating = devices.isEmpty() ? QString() : devices.first().rating;
    m_watts->setText(percent ? text("lblWatts", "%1 W of %2")
                                   .arg(standbyThresholdWatts(*percent, rating), 0, 'f', 0)
                                   .arg(rating)
                             : QString());
}

QString StandbySettingsPage::validate() const
{
    if (standbyPercentFromText(m_percent->text()))
        return QString();
    m_percent->setFocus();
    return text("msgRange", "Asleep below: a number from 0 to %1 (% of the rating).").arg(STANDBY_PERCENT_MAX);
}

bool StandbySettingsPage::save()
{
    sysSettings.StandbyPercent = standbyPercentFromText(m_percent->text()).value_or(sysSettings.StandbyPercent);
    return true;
}

} // namespace vantoro
