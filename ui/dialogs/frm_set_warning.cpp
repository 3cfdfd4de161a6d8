// The warning bounds editor.
#include "ui/dialogs/frm_set_warning.h"

#include "acquisition/param_names.h"

#include "core/common.h"
#include "core/localisation.h"
#include "core/message_service.h"
#include "core/system_settings.h"
#include "ui/dialogs/dialog_controls.h"
#include "ui/form_utils.h"
#include "ui/language.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantoro {

namespace {

const QString kSection = QStringLiteral("frmSetWarning");

} // namespace

frmSetWarning::frmSetWarning(QWidget *owner, std::function<void()> structureChanged, ParamsRows *rows)
    : QWidget(owner, Qt::Window)
    , m_structureChanged(std::move(structureChanged))
    , m_rows(rows ? rows : &stationParamsRows())
{
    setObjectName(kSection);
    setWindowTitle(QStringLiteral("设置"));

    const char *const listCaptions[] = {"设备参量", "报警参量"};
    QList<QLabel *> listLabels;
    for (int i = 0; i < 2; ++i) {
        listLabels << namedLabel(QStringLiteral("Label1"), QString::fromUtf8(listCaptions[i]), this, i);
        auto *list = new QListWidget(this);
        setControlName(list, QStringLiteral("List1"), i);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        connect(list, &QListWidget::currentRowChanged, this, [this, i] { list1Click(i); });
        connect(list, &QListWidget::itemClicked, this, [this, i] { list1Click(i); });
        m_list1 << list;
    }
    auto *cmdAdd = namedButton(QStringLiteral("cmdAdd"), QStringLiteral(">"), this);
    auto *cmdAddAll = namedButton(QStringLiteral("cmdAddAll"), QStringLiteral(">>"), this);
    auto *cmdRemove = namedButton(QStringLiteral("cmdRemove"), QStringLiteral("<"), this);
    auto *cmdRemoveAll = namedButton(QStringLiteral("cmdRemoveAll"), QStringLiteral("<<"), this);

    m_frameBounds = new QGroupBox(QStringLiteral(" 告警上下限 "), this);
    m_frameBounds->setObjectName(QStringLiteral("frameBounds"));
    for (int i = 0; i < 2; ++i) {
        auto *bound = namedCombo(QStringLiteral("cmbBound"), true, m_frameBounds, i);
        connect(bound, &QComboBox::editTextChanged, this, [this] { m_cmdBoundOk->setEnabled(true); });
        m_cmbBound << bound;
    }
    m_lblbound = namedLabel(QStringLiteral("lblbound"), QStringLiteral("下限 / 上限"), m_frameBounds);
    m_lblBoundUnit = namedLabel(QStringLiteral("lblBoundUnit"), QString(), m_frameBounds);
    m_cmdBoundOk = namedButton(QStringLiteral("cmdBoundOk"), QStringLiteral("应用"), m_frameBounds);
    auto *boundsLayout = new QGridLayout(m_frameBounds);
    boundsLayout->addWidget(m_lblbound, 0, 0, 1, 2);
    boundsLayout->addWidget(m_cmbBound[0], 1, 0);
    boundsLayout->addWidget(m_cmbBound[1], 1, 1);
    boundsLayout->addWidget(m_lblBoundUnit, 1, 2);
    boundsLayout->addWidget(m_cmdBoundOk, 2, 1);

    m_cmdSave = namedButton(QStringLiteral("cmdSave"), QStringLiteral("保存"), this);
    m_cmdQuit = namedButton(QStringLiteral("cmdQuit"), QStringLiteral("退出"), this);

    auto *movers = new QVBoxLayout;
    movers->addStretch();
    for (QPushButton *button : {cmdAdd, cmdAddAll, cmdRemove, cmdRemoveAll})
        movers->addWidget(button);
    movers->addStretch();
    auto *lists = new QGridLayout;
    lists->addWidget(listLabels[0], 0, 0);
    lists->addWidget(listLabels[1], 0, 2);
    lists->addWidget(m_list1[0], 1, 0);
    lists->addLayout(movers, 1, 1);
    lists->addWidget(m_list1[1], 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdSave);
    buttons->addWidget(m_cmdQuit);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addWidget(m_frameBounds);
    layout->addLayout(buttons);

    connect(cmdAdd, &QPushButton::clicked, this, &frmSetWarning::cmdAddClick);
    connect(cmdAddAll, &QPushButton::clicked, this, &frmSetWarning::cmdAddAllClick);
    connect(cmdRemove, &QPushButton::clicked, this, &frmSetWarning::cmdRemoveClick);
    connect(cmdRemoveAll, &QPushButton::clicked, this, &frmSetWarning::cmdRemoveAllClick);
    connect(m_cmdBoundOk, &QPushButton::clicked, this, &frmSetWarning::cmdBoundOkClick);
    connect(m_cmdSave, &QPushButton::clicked, this, &frmSetWarning::cmdSaveClick);
    connect(m_cmdQuit, &QPushButton::clicked, this, &QWidget::close);

    setBoundsEnable(false);
    m_cmdBoundOk->setEnabled(false);
    applyLanguage(this, sysSettings.languageIndex);
    loadDevData();
}

frmSetWarning *frmSetWarning::showSetWarning(QWidget *owner, std::function<void()> structureChanged)
{
    auto *form = owner ? owner->findChild<frmSetWarning *>(kSection, Qt::FindDirectChildrenOnly) : nullptr;
    if (!form) {
        form = new frmSetWarning(owner, std::move(structureChanged));
        form->setAttribute(Qt::WA_DeleteOnClose);
    }
    showForm(form, owner);
    return form;
}

void frmSetWarning::loadDevData()
{
    for (const ParamsRow &row : std::as_const(*m_rows)) {
        if (!rowInUse(row))
            continue;
        addParameterItem(m_list1[rowWatched(row) ? 1 : 0], rowField(row, PF_NAME),
                         parameterName(rowField(row, PF_CODE), rowField(row, PF_NAME)));
    }
}

void frmSetWarning::addParameterItem(QListWidget *list, const QString &storedName, const QString &shown)
{
    // The file's rows are found by their stored name; the list shows the
    // name in the interface language.
    auto *item = new QListWidgetItem(shown, list);
    item->setData(Qt::UserRole, storedName);
}

QString frmSetWarning::storedName(const QListWidgetItem *item)
{
    return item->data(Qt::UserRole).toString();
}

int frmSetWarning::selectedRow(QListWidget *list) const
{
    const int row = list->currentRow();
    return row >= 0 && list->item(row)->isSelected() ? row : -1;
}

void frmSetWarning::moveListItem(QListWidget *from, QListWidget *to)
{
    const int position = selectedRow(from);
    if (position < 0)
        return;
    addParameterItem(to, storedName(from->item(position)), from->item(position)->text());
    delete from->takeItem(position);
    if (from->count() < position + 1) {
        from->setCurrentRow(from->count() - 1);
    } else {
        from->setCurrentRow(position);
    }
    if (from->count() == 0)
        from->clearSelection();
}

bool frmSetWarning::findItem(QListWidget *list, const QString &name)
{
    bool found = false;
    for (int i = 0; i < list->count(); ++i) {
        if (storedName(list->item(i)) == name) {
            found = true;
            break;
        }
    }
    list->setCurrentRow(-1);
    list->clearSelection();
    return found;
}

void frmSetWarning::setBoundsEnable(bool enabled)
{
    for (QWidget *control : {static_cast<QWidget *>(m_frameBounds), static_cast<QWidget *>(m_cmbBound[0]),
                             static_cast<QWidget *>(m_cmbBound[1]), static_cast<QWidget *>(m_lblbound),
                             static_cast<QWidget *>(m_lblBoundUnit)})
        control->setEnabled(enabled);
}

void frmSetWarning::list1Click(int index)
{
    if (index == 0) {
        setBoundsEnable(false);
        return;
    }
    const int position = selectedRow(m_list1[1]);
    if (position < 0)
        return;
    const int row = findParamsRow(*m_rows, storedName(m_list1[1]->item(position)));
    if (row >= 0 && rowBoundsEditable((*m_rows)[row])) {
        setBoundsEnable(true);
        const ParamsRow &fields = (*m_rows)[row];
        m_cmbBound[0]->setEditText(rowField(fields, PF_LOWER));
        m_cmbBound[1]->setEditText(rowField(fields, PF_UPPER));
        m_lblBoundUnit->setText(rowField(fields, PF_UNIT));
    } else {
        setBoundsEnable(false);
    }
    // Filling the fields is not an edit.
    m_cmdBoundOk->setEnabled(false);
}

void frmSetWarning::cmdAddClick()
{
    moveListItem(m_list1[0], m_list1[1]);
}

void frmSetWarning::cmdRemoveClick()
{
    moveListItem(m_list1[1], m_list1[0]);
}

void frmSetWarning::cmdAddAllClick()
{
    while (m_list1[0]->count() > 0) {
        m_list1[0]->setCurrentRow(0);
        moveListItem(m_list1[0], m_list1[1]);
    }
}

void frmSetWarning::cmdRemoveAllClick()
{
    while (m_list1[1]->count() > 0) {
        m_list1[1]->setCurrentRow(0);
        moveListItem(m_list1[1], m_list1[0]);
    }
}

void frmSetWarning::cmdBoundOkClick()
{
    // The file joins its fields with commas: anything but a number would
    // shift the fields after it.
    for (QComboBox *bound : std::as_const(m_cmbBound)) {
        if (!isBoundText(bound->currentText())) {
            messages().show(windowTitle(), langText(kSection, QStringLiteral("msgBoundNotNumber")).arg(bound->currentText()),
                            MessageIcon::Warning);
            bound->setFocus();
            return;
        }
    }
    m_cmdBoundOk->setEnabled(false);
    setBusyCursor(true);
    const int position = selectedRow(m_list1[1]);
    if (position >= 0) {
        const int row = findParamsRow(*m_rows, storedName(m_list1[1]->item(position)));
        if (row >= 0) {
            // The operator's numbers, only without blanks around them.
            setRowField((*m_rows)[row], PF_LOWER, m_cmbBound[0]->currentText().trimmed());
            setRowField((*m_rows)[row], PF_UPPER, m_cmbBound[1]->currentText().trimmed());
        }
    }
    setBusyCursor(false);
}

bool frmSetWarning::saveParamSet()
{
    if (m_rows->isEmpty()) {
        messages().show(windowTitle(),
                        localText(QStringLiteral("没有可保存的参数行（PARAMS.INI 缺失或为空）。"),
                                  QStringLiteral("There are no parameter rows to save (PARAMS.INI is missing or empty).")),
                        MessageIcon::Warning);
        return false;
    }
    setBusyCursor(true);
    for (ParamsRow &row : *m_rows) {
        if (rowInUse(row))
            setRowField(row, PF_WARNING, findItem(m_list1[1], rowField(row, PF_NAME)) ? QStringLiteral("1")
                                                                                     : QStringLiteral("0"));
    }
    QString error;
    const bool saved = saveParamsFile(appDir(), *m_rows, &error);
    setBusyCursor(false);
    if (!saved) {
        messages().show(windowTitle(),
                        localText(QStringLiteral("告警设置未能保存，原文件保持不变：\r\n"),
                                  QStringLiteral("The alarm settings could not be saved; the old file is kept:\r\n"))
                            + error,
                        MessageIcon::Error);
    }
    return saved;
}

void frmSetWarning::cmdSaveClick()
{
    m_cmdSave->setEnabled(false);
    saveParamSet();
    if (m_structureChanged)
        m_structureChanged();
    m_cmdSave->setEnabled(true);
}

void frmSetWarning::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        applyLanguage(this, sysSettings.languageIndex);
    QWidget::changeEvent(event);
}

} // namespace vantoro
