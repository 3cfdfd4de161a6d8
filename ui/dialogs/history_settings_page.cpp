#include "ui/dialogs/history_settings_page.h"

#include "core/localisation.h"
#include "core/system_settings.h"
#include "history/history_settings.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <optional>

namespace vantoro {

namespace {

QString text(const char *key)
{
    return langText(QStringLiteral("History"), QString::fromLatin1(key));
}

// A whole number, or nullopt for anything else (left to the range message).
std::optional<int> wholeNumber(const QLineEdit *field)
{
    bool ok = false;
    const int value = field->text().trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

} // namespace

HistorySettingsPage::HistorySettingsPage(QWidget *parent)
    : SettingsPage(parent)
    , m_period(new QLineEdit(this))
    , m_keep(new QLineEdit(this))
{
    setObjectName(QStringLiteral("pageHistory"));
    m_period->setObjectName(QStringLiteral("txtSamplePeriod"));
    m_keep->setObjectName(QStringLiteral("txtKeepHours"));
    auto *form = new QFormLayout(this);
    form->addRow(text("lblPeriod"), m_period);
    form->addRow(text("lblKeep"), m_keep);
    auto *note = new QLabel(text("lblYieldNote"), this);
    note->setWordWrap(true);
    form->addRow(note);
}

QString HistorySettingsPage::title() const
{
    return text("pageTitle");
}

void HistorySettingsPage::load()
{
    m_period->setText(QString::number(effectiveSamplePeriod(sysSettings.HisDataSamplePeriod)));
    m_keep->setText(QString::number(effectiveKeepHours(sysSettings.hisdatakeephours)));
}

QString HistorySettingsPage::validate() const
{
    const QString period = validateSamplePeriod(wholeNumber(m_period).value_or(-1));
    if (!period.isEmpty()) {
        m_period->setFocus();
        return period;
    }
    const QString keep = validateKeepHours(wholeNumber(m_keep).value_or(-1));
    if (!keep.isEmpty())
        m_keep->setFocus();
    return keep;
}

bool HistorySettingsPage::save()
{
    sysSettings.HisDataSamplePeriod = wholeNumber(m_period).value_or(sysSettings.HisDataSamplePeriod);
    sysSettings.hisdatakeephours = wholeNumber(m_keep).value_or(sysSettings.hisdatakeephours);
    return true;
}

} // namespace vantoro
