// The plain record editor over paraset.
#include "ui/dialogs/frm_paraset.h"

#include "acquisition/param_table.h"
#include "core/device_store.h"
#include "core/message_service.h"
#include "core/system_settings.h"
#include "ui/dialogs/dialog_controls.h"
#include "ui/dialogs/paraset_grid.h"
#include "ui/form_utils.h"
#include "ui/language.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSqlError>
#include <QSqlTableModel>
#include <QTableView>
#include <QVBoxLayout>

namespace vantoro {

namespace {

const QString kSection = QStringLiteral("frmparaset");

QList<GridColumn> gridColumns()
{
    QList<GridColumn> columns;
    for (const char *name : {"BOUNDL", "BOUNDU", "DATAFORMAT", "DEVID", "DEVPART", "ENABLED", "FOUNDERROR", "ISSTRING",
                             "MMFILEURL", "MULTIPLE", "OKSTRING", "PARACODE", "PARAID", "PARANAME", "PARAVALUE",
                             "RANGEL", "RANGEU", "SRCSTRING", "UNIT", "UPDATED", "UPDATETIME", "WARNINGENABLED"})
        columns.append({name, QString::fromLatin1(name)});
    return columns;
}

} // namespace

frmparaset::frmparaset(QWidget *owner)
    : QWidget(owner, Qt::Window)
{
    setObjectName(kSection);
    setWindowTitle(QStringLiteral("paraset"));

    m_grdDataGrid = new QTableView(this);
    m_grdDataGrid->setObjectName(QStringLiteral("grdDataGrid"));
    m_grdDataGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grdDataGrid->installEventFilter(this);

    m_picButtons = new QWidget(this);
    m_picButtons->setObjectName(QStringLiteral("picButtons"));
    auto *buttons = new QHBoxLayout(m_picButtons);
    buttons->setContentsMargins(0, 0, 0, 0);
    const std::pair<const char *, const char *> commands[] = {
        {"cmdAdd", "&Add"},       {"cmdEdit", "&Edit"},       {"cmdUpdate", "&Update"}, {"cmdCancel", "&Cancel"},
        {"cmdDelete", "&Delete"}, {"cmdRefresh", "&Refresh"}, {"cmdClose", "&Close"},
    };
    for (const auto &[name, caption] : commands)
        buttons->addWidget(namedButton(QString::fromLatin1(name), QString::fromLatin1(caption), m_picButtons));

    m_picStatBox = new QWidget(this);
    m_picStatBox->setObjectName(QStringLiteral("picStatBox"));
    auto *status = new QHBoxLayout(m_picStatBox);
    status->setContentsMargins(0, 0, 0, 0);
    auto *cmdFirst = namedButton(QStringLiteral("cmdFirst"), QStringLiteral("|<"), m_picStatBox);
    auto *cmdPrevious = namedButton(QStringLiteral("cmdPrevious"), QStringLiteral("<"), m_picStatBox);
    m_lblStatus = namedLabel(QStringLiteral("lblStatus"), QString(), m_picStatBox);
    auto *cmdNext = namedButton(QStringLiteral("cmdNext"), QStringLiteral(">"), m_picStatBox);
    auto *cmdLast = namedButton(QStringLiteral("cmdLast"), QStringLiteral(">|"), m_picStatBox);
    for (QPushButton *b : {cmdFirst, cmdPrevious, cmdNext, cmdLast})
        b->setFocusPolicy(Qt::NoFocus);
    status->addWidget(cmdFirst);
    status->addWidget(cmdPrevious);
    status->addWidget(m_lblStatus, 1);
    status->addWidget(cmdNext);
    status->addWidget(cmdLast);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_grdDataGrid, 1);
    layout->addWidget(m_picButtons);
    layout->addWidget(m_picStatBox);
    resize(900, 480);

    connect(button(QStringLiteral("cmdAdd")), &QPushButton::clicked, this, &frmparaset::cmdAddClick);
    connect(button(QStringLiteral("cmdEdit")), &QPushButton::clicked, this, &frmparaset::cmdEditClick);
    connect(button(QStringLiteral("cmdUpdate")), &QPushButton::clicked, this, &frmparaset::cmdUpdateClick);
    connect(button(QStringLiteral("cmdCancel")), &QPushButton::clicked, this, &frmparaset::cmdCancelClick);
    connect(button(QStringLiteral("cmdDelete")), &QPushButton::clicked, this, &frmparaset::cmdDeleteClick);
    connect(button(QStringLiteral("cmdRefresh")), &QPushButton::clicked, this, &frmparaset::cmdRefreshClick);
    connect(button(QStringLiteral("cmdClose")), &QPushButton::clicked, this, &QWidget::close);
    connect(cmdFirst, &QPushButton::clicked, this, &frmparaset::cmdFirstClick);
    connect(cmdPrevious, &QPushButton::clicked, this, &frmparaset::cmdPreviousClick);
    connect(cmdNext, &QPushButton::clicked, this, &frmparaset::cmdNextClick);
    connect(cmdLast, &QPushButton::clicked, this, &frmparaset::cmdLastClick);

    // The station's own database, on a connection kept while the form is open.
    m_grid = std::make_unique<ParasetGrid>(this, m_grdDataGrid, gridColumns());
    // The first device's rows until the window names the device it shows.
    if (const auto devices = loadDevices(); devices && !devices->isEmpty())
        showDevice(devices->first().id, devices->first().rating);
    connect(m_grdDataGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &frmparaset::recordMoved);
    connect(m_grid->model(), &QAbstractItemModel::dataChanged, this, [this] { m_dataChanged = true; });
    if (!m_grid->isOpen())
        showError(m_grid->errorText());
    m_grid->setCurrentRow(0);
    setButtons(true);
    m_dataChanged = false;
    applyLanguage(this, sysSettings.languageIndex);
}

frmparaset::~frmparaset() = default;

frmparaset *frmparaset::showParaset(QWidget *owner)
{
    auto *form = owner ? owner->findChild<frmparaset *>(kSection, Qt::FindDirectChildrenOnly) : nullptr;
    if (!form) {
        form = new frmparaset(owner);
        form->setAttribute(Qt::WA_DeleteOnClose);
    }
    showForm(form, owner);
    return form;
}

QPushButton *frmparaset::button(const QString &name) const
{
    return findChild<QPushButton *>(name);
}

void frmparaset::showError(const QString &description)
{
    messages().show(stationTitle(), description, MessageIcon::None);
}

void frmparaset::setButtons(bool browse)
{
    for (const char *name : {"cmdAdd", "cmdEdit", "cmdDelete", "cmdClose", "cmdRefresh"})
        button(QString::fromLatin1(name))->setVisible(browse);
    for (const char *name : {"cmdUpdate", "cmdCancel"})
        button(QString::fromLatin1(name))->setVisible(!browse);
    for (const char *name : {"cmdFirst", "cmdPrevious", "cmdNext", "cmdLast"})
        button(QString::fromLatin1(name))->setEnabled(browse);
    // Cells take edits only in the edit state, where Update can save them.
    m_grdDataGrid->setEditTriggers(browse ? QAbstractItemView::NoEditTriggers
                                          : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                                | QAbstractItemView::AnyKeyPressed);
}

void frmparaset::recordMoved()
{
    const int row = m_grid->currentRow();
    m_lblStatus->setText(QStringLiteral("Record: ") + (row >= 0 ? QString::number(row + 1) : QString()));
}

void frmparaset::cmdAddClick()
{
    QSqlTableModel *model = m_grid->model();
    cmdLastClick();
    if (!model->insertRow(model->rowCount())) {
        showError(model->lastError().text());
        return;
    }
    m_grid->setCurrentRow(m_grid->rowCount() - 1);
    // A new row is pending until Update, so the editor enters its edit state.
    m_addNewFlag = true;
    setButtons(false);
    m_grdDataGrid->setFocus();
}

void frmparaset::cmdEditClick()
{
    m_lblStatus->setText(QStringLiteral("Edit record"));
    m_editFlag = true;
    setButtons(false);
}

bool frmparaset::cmdUpdateClick()
{
    if (!m_grid->submitAll()) {
        showError(m_grid->errorText());
        return false;
    }
    if (m_addNewFlag)
        cmdLastClick();
    m_editFlag = false;
    m_addNewFlag = false;
    setButtons(true);
    m_dataChanged = false;
    if (m_tablesChanged)
        m_tablesChanged();
    return true;
}

void frmparaset::cmdCancelClick()
{
    setButtons(true);
    m_editFlag = false;
    m_addNewFlag = false;
    m_grid->model()->revertAll();
    m_grid->refilter();
    cmdFirstClick();
    m_dataChanged = false;
}

void frmparaset::cmdRefreshClick()
{
    if (!m_grid->requery())
        showError(m_grid->errorText());
}

bool frmparaset::cmdDeleteClick()
{
    const int row = m_grid->currentRow();
    if (row < 0)
        return false;
    if (!m_grid->model()->removeRow(m_grid->sourceRow(row)) || !m_grid->submitAll()) {
        const QString error = m_grid->errorText().isEmpty() ? m_grid->model()->lastError().text() : m_grid->errorText();
        m_grid->model()->revertAll();
        showError(error);
        return false;
    }
    if (m_tablesChanged)
        m_tablesChanged();
    m_grid->setCurrentRow(qMin(row, m_grid->rowCount() - 1));
    return true;
}

void frmparaset::cmdFirstClick()
{
    m_grid->setCurrentRow(0);
    m_dataChanged = false;
}

void frmparaset::cmdLastClick()
{
    m_grid->setCurrentRow(m_grid->rowCount() - 1);
    m_dataChanged = false;
}

void frmparaset::cmdNextClick()
{
    const int row = m_grid->currentRow();
    if (row + 1 < m_grid->rowCount()) {
        m_grid->setCurrentRow(row + 1);
    } else if (m_grid->rowCount() > 0) {
        // Past the last record: say so and stay on the last one.
        messages().beep();
        m_grid->setCurrentRow(m_grid->rowCount() - 1);
    }
    m_dataChanged = false;
}

void frmparaset::cmdPreviousClick()
{
    const int row = m_grid->currentRow();
    if (row > 0) {
        m_grid->setCurrentRow(row - 1);
    } else if (m_grid->rowCount() > 0) {
        messages().beep();
        m_grid->setCurrentRow(0);
    }
    m_dataChanged = false;
}

bool frmparaset::handleKey(QKeyEvent *event)
{
    if (m_editFlag || m_addNewFlag)
        return false;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return true;
    case Qt::Key_End:
        cmdLastClick();
        return true;
    case Qt::Key_Home:
        cmdFirstClick();
        return true;
    case Qt::Key_Up:
    case Qt::Key_PageUp:
        ctrl ? cmdFirstClick() : cmdPreviousClick();
        return true;
    case Qt::Key_Down:
    case Qt::Key_PageDown:
        ctrl ? cmdLastClick() : cmdNextClick();
        return true;
    default:
        return false;
    }
}

bool frmparaset::eventFilter(QObject *watched, QEvent *event)
{
    // The form sees the navigation keys before the grid does.
    if (watched == m_grdDataGrid && event->type() == QEvent::KeyPress && handleKey(static_cast<QKeyEvent *>(event)))
        return true;
    return QWidget::eventFilter(watched, event);
}

void frmparaset::keyPressEvent(QKeyEvent *event)
{
    if (!handleKey(event))
        QWidget::keyPressEvent(event);
}

void frmparaset::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        applyLanguage(this, sysSettings.languageIndex);
    QWidget::changeEvent(event);
}

void frmparaset::closeEvent(QCloseEvent *event)
{
    setBusyCursor(false);
    QWidget::closeEvent(event);
}

void frmparaset::showDevice(const QString &devid, const QString &rating)
{
    m_deviceId = devid;
    m_rating = rating.trimmed();
    m_grid->showDevice(devid);
}

} // namespace vantoro
