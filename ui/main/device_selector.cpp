// The toolbar's device selector.
#include "ui/main/device_selector.h"

#include "core/localisation.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>

namespace vantoro {

DeviceSelector::DeviceSelector(StationBus &bus, QWidget *parent)
    : QWidget(parent)
    , m_bus(bus)
    , m_combo(new QComboBox(this))
    , m_next(new QAction(this))
    , m_previous(new QAction(this))
{
    setObjectName(QStringLiteral("deviceSelector"));
    m_combo->setObjectName(QStringLiteral("cmbDevice"));
    m_combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_combo->setMinimumContentsLength(12);
    m_combo->setToolTip(formText(QStringLiteral("deviceSelector"), QStringLiteral("tipDevice"),
                                 QStringLiteral("The device the views and dialogs show")));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(m_combo);
    m_next->setObjectName(QStringLiteral("actNextDevice"));
    m_next->setText(formText(QStringLiteral("deviceSelector"), QStringLiteral("actNext"), QStringLiteral("Next device")));
    m_next->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown));
    m_previous->setObjectName(QStringLiteral("actPreviousDevice"));
    m_previous->setText(
        formText(QStringLiteral("deviceSelector"), QStringLiteral("actPrevious"), QStringLiteral("Previous device")));
    m_previous->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp));
    for (QAction *action : {m_next, m_previous}) {
        // The window's, so they work wherever the focus is in it.
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }
    connect(m_next, &QAction::triggered, this, &DeviceSelector::selectNext);
    connect(m_previous, &QAction::triggered, this, &DeviceSelector::selectPrevious);
    connect(m_combo, &QComboBox::activated, this, &DeviceSelector::comboChosen);
    connect(&m_bus, &StationBus::devicesChanged, this, &DeviceSelector::devicesChanged);
    devicesChanged();
}

QString DeviceSelector::selectedId() const
{
    return m_selected;
}

void DeviceSelector::devicesChanged()
{
    const QList<DeviceInfo> &devices = m_bus.devices();
    const QString before = m_selected;
    m_filling = true;
    m_combo->clear();
    int keep = devices.isEmpty() ? -1 : 0;
    for (int i = 0; i < devices.size(); ++i) {
        const DeviceInfo &d = devices[i];
        m_combo->addItem(d.name.isEmpty() ? d.id : QStringLiteral("%1 %2").arg(d.id, d.name), d.id);
        if (d.id == before)
            keep = i;
    }
    m_combo->setCurrentIndex(keep);
    m_filling = false;
    m_selected = keep < 0 ? QString() : devices[keep].id;
    // One device needs no choosing: the toolbar looks as before. The combo
    // goes, not this widget, whose visibility a toolbar keeps for itself.
    const bool several = devices.size() > 1;
    m_combo->setVisible(several);
    layout()->setContentsMargins(several ? 4 : 0, 0, several ? 4 : 0, 0);
    // A toolbar keeps the width it was given until told the hint changed.
    updateGeometry();
    adjustSize();
    m_next->setEnabled(several);
    m_previous->setEnabled(several);
    if (m_selected != before)
        emit selected(m_selected);
}

bool DeviceSelector::select(const QString &id)
{
    const int index = m_combo->findData(id);
    if (index < 0)
        return false;
    m_combo->setCurrentIndex(index);
    if (id != m_selected) {
        m_selected = id;
        emit selected(id);
    }
    return true;
}

void DeviceSelector::selectNext()
{
    step(1);
}

void DeviceSelector::selectPrevious()
{
    step(-1);
}

void DeviceSelector::step(int by)
{
    const int count = m_combo->count();
    if (count < 2)
        return;
    // Round the line: after the last comes the first.
    const int index = ((m_combo->currentIndex() + by) % count + count) % count;
    select(m_combo->itemData(index).toString());
}

void DeviceSelector::comboChosen(int index)
{
    if (!m_filling && index >= 0)
        select(m_combo->itemData(index).toString());
}

} // namespace vantoro
