// The operator's parameter table editor.
#include "ui/dialogs/frm_par_set3.h"

#include "acquisition/param_table.h"
#include "core/device_store.h"
#include "core/common.h"
#include "core/factory_tables.h"
#include "core/localisation.h"
#include "core/message_service.h"
#include "core/system_settings.h"
#include "ui/dialogs/dialog_controls.h"
#include "ui/dialogs/paraset_grid.h"
#include "ui/form_utils.h"
#include "ui/language.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSqlError>
#include <QSqlTableModel>
#include <QTableView>
#include <QVBoxLayout>

namespace vantoro {

namespace {

const QString kSection = QStringLiteral("frmParSet3");
constexpr double kSaveSettleSeconds = 0.2;
constexpr double kFactoryStepSeconds = 0.5;
constexpr int kRestoreRefreshes = 5;

// Column titles come from the language file; the built-in ones are Chinese.
QList<GridColumn> gridColumns()
{
    static const char *const columns[][2] = {
        {"DEVID", "设备ID"},
        {"PARAID", "参数ID"},
        {"PARACODE", "编码"},
        {"PARANAME", "名称"},
        {"ENABLED", "启用"},
        {"PARAVALUE", "当前值"},
        {"MULTIPLE", "倍数"},
        {"DATAFORMAT", "格式"},
        {"UNIT", "单位"},
        {"RANGEL", "低限"},
        {"RANGEU", "高限"},
        {"BOUNDL", "有效低限"},
        {"BOUNDU", "有效高限"},
        {"ISSTRING", "类型"},
        {"SRCSTRING", "状态1"},
        {"OKSTRING", "状态0"},
        {"FOUNDERROR", "异常"},
        {"DEVPART", "模块"},
        {"WARNINGENABLED", "告警"},
        {"UPDATED", "更新"},
        {"UPDATETIME", "更新时间"},
    };
    QList<GridColumn> out;
    for (const auto &column : columns) {
        const QString name = QString::fromLatin1(column[0]);
        out.append({column[0], formText(kSection, QStringLiteral("col") + name, QString::fromUtf8(column[1]))});
    }
    return out;
}

} // namespace

frmParSet3::frmParSet3(QWidget *owner, std::function<void()> closePort)
    : QDialog(owner)
    , m_closePort(std::move(closePort))
{
    setObjectName(kSection);
    setWindowTitle(QStringLiteral("参数设定  ( 高级用户使用功能 )"));

    m_grdDataGrid = new QTableView(this);
    m_grdDataGrid->setObjectName(QStringLiteral("grdDataGrid"));
    m_grdDataGrid->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_grdDataGrid->setSelectionMode(QAbstractItemView::SingleSelection);

    m_picButtons = new QWidget(this);
    m_picButtons->setObjectName(QStringLiteral("picButtons"));
    auto *cmdAdd = namedButton(QStringLiteral("cmdAdd"), QStringLiteral("添加(&A)"), m_picButtons);
    auto *cmdUpdate = namedButton(QStringLiteral("cmdUpdate"), QStringLiteral("保存(&S)"), m_picButtons);
    auto *cmdDelete = namedButton(QStringLiteral("cmdDelete"), QStringLiteral("删除(&D)"), m_picButtons);
    auto *cmdRefresh = namedButton(QStringLiteral("cmdRefresh"), QStringLiteral("刷新(&R)"), m_picButtons);
    auto *cmdClose = namedButton(QStringLiteral("cmdClose"), QStringLiteral("关闭(&C)"), m_picButtons);
    m_chkViewAll = namedCheckBox(QStringLiteral("chkViewAll"), QStringLiteral("查看全部"), m_picButtons);
    m_chkFactoryMode = namedCheckBox(QStringLiteral("chkFactoryMode"), QStringLiteral("调试选项"), m_picButtons);
    m_cmdRestore = namedButton(QStringLiteral("cmdRestore"), QStringLiteral("恢复为出厂设定"), m_picButtons);
    m_cmdSaveToDefault = namedButton(QStringLiteral("cmdSaveToDefault"), QStringLiteral("保存到出厂设定"), m_picButtons);
    m_cmdRestore->setEnabled(false);
    m_cmdSaveToDefault->setEnabled(false);
    m_datPrimaryRS = namedLabel(QStringLiteral("datPrimaryRS"), QString(), m_picButtons);

    auto *row1 = new QHBoxLayout;
    for (QWidget *w : {static_cast<QWidget *>(cmdAdd), static_cast<QWidget *>(cmdUpdate),
                       static_cast<QWidget *>(cmdDelete), static_cast<QWidget *>(cmdRefresh),
                       static_cast<QWidget *>(cmdClose), static_cast<QWidget *>(m_chkViewAll)})
        row1->addWidget(w);
    row1->addStretch();
    auto *row2 = new QHBoxLayout;
    row2->addWidget(m_datPrimaryRS);
    row2->addStretch();
    row2->addWidget(m_chkFactoryMode);
    row2->addWidget(m_cmdRestore);
    row2->addWidget(m_cmdSaveToDefault);
    auto *buttons = new QVBoxLayout(m_picButtons);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addLayout(row1);
    buttons->addLayout(row2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_grdDataGrid, 1);
    layout->addWidget(m_picButtons);
    resize(900, 520);

    connect(m_chkViewAll, &QCheckBox::clicked, this, &frmParSet3::chkViewAllClick);
    connect(m_chkFactoryMode, &QCheckBox::toggled, this, &frmParSet3::chkFactoryModeClick);
    connect(cmdAdd, &QPushButton::clicked, this, &frmParSet3::cmdAddClick);
    connect(cmdUpdate, &QPushButton::clicked, this, &frmParSet3::cmdUpdateClick);
    connect(cmdDelete, &QPushButton::clicked, this, &frmParSet3::cmdDeleteClick);
    connect(cmdRefresh, &QPushButton::clicked, this, &frmParSet3::cmdRefreshClick);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cmdRestore, &QPushButton::clicked, this, &frmParSet3::cmdRestoreClick);
    connect(m_cmdSaveToDefault, &QPushButton::clicked, this, &frmParSet3::cmdSaveToDefaultClick);

    m_grid = std::make_unique<ParasetGrid>(this, m_grdDataGrid, gridColumns());
    // The first device's rows until the window names the device it shows.
    if (const auto devices = loadDevices(); devices && !devices->isEmpty())
        showDevice(devices->first().id, devices->first().rating);
    connect(m_grdDataGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &frmParSet3::recordMoved);
    if (!m_grid->isOpen())
        showGridError(m_grid->errorText());
    chkViewAllClick();
    setBusyCursor(false);
}

frmParSet3::~frmParSet3() = default;

void frmParSet3::showGridError(const QString &description)
{
    messages().show(stationTitle(), QStringLiteral("Data error event hit err:") + description, MessageIcon::None);
}

void frmParSet3::recordMoved()
{
    const int row = m_grid->currentRow();
    const QString label = formText(kSection, QStringLiteral("msgCurrentRow"), QStringLiteral("当前行:"));
    m_datPrimaryRS->setText(label + QLatin1Char(' ') + (row >= 0 ? QString::number(row + 1) : QString()));
}

bool frmParSet3::mayDropEdits()
{
    if (!m_grid->hasPendingEdits())
        return true;
    switch (messages().askSaveDiscard(windowTitle(), langText(kSection, QStringLiteral("msgUnsavedEdits")))) {
    case SaveChoice::Save:
        return cmdUpdateClick();
    case SaveChoice::Discard:
        return true;
    case SaveChoice::Cancel:
        break;
    }
    return false;
}

void frmParSet3::chkViewAllClick()
{
    if (m_chkViewAll->isChecked()) {
        // Showing all rows reads the table again.
        if (!mayDropEdits()) {
            m_chkViewAll->setChecked(false);
            return;
        }
        m_grid->filter()->setOnlyEnabled(false);
        if (!m_grid->requery())
            showGridError(m_grid->errorText());
    } else {
        m_grid->filter()->setOnlyEnabled(true);
    }
}

void frmParSet3::chkFactoryModeClick()
{
    const bool on = m_chkFactoryMode->isChecked();
    m_cmdRestore->setEnabled(on);
    m_cmdSaveToDefault->setEnabled(on);
}

void frmParSet3::cmdAddClick()
{
    QSqlTableModel *model = m_grid->model();
    if (!model->insertRow(model->rowCount())) {
        messages().show(stationTitle(), model->lastError().text(), MessageIcon::None);
        return;
    }
    m_grid->setCurrentRow(m_grid->rowCount() - 1);
    m_grdDataGrid->setFocus();
}

void frmParSet3::cmdDeleteClick()
{
    const int row = m_grid->currentRow();
    if (row < 0)
        return;
    if (!m_grid->model()->removeRow(m_grid->sourceRow(row))) {
        messages().show(stationTitle(), m_grid->model()->lastError().text(), MessageIcon::None);
        return;
    }
    m_grid->setCurrentRow(qMin(row + 1, m_grid->rowCount() - 1));
}

void frmParSet3::cmdRefreshClick()
{
    if (mayDropEdits())
        refreshGrid();
}

void frmParSet3::refreshGrid()
{
    if (!m_grid->requery())
        messages().show(stationTitle(), m_grid->errorText(), MessageIcon::None);
}

bool frmParSet3::cmdUpdateClick()
{
    if (!m_grid->submitAll()) {
        messages().show(stationTitle(), m_grid->errorText(), MessageIcon::None);
        return false;
    }
    waitSeconds(kSaveSettleSeconds * m_pauseScale);
    if (m_tablesChanged)
        m_tablesChanged();
    waitSeconds(kSaveSettleSeconds * m_pauseScale);
    return true;
}

bool frmParSet3::cmdRestoreClick()
{
    messages().beep();
    if (!confirmYesNo(QStringLiteral("Info"), QStringLiteral(" 将要删除本设备单元所有参数设置信息！  \r\n\r\n"
                                                             " 恢复到系统出厂时的参数\r\n\r\n 继续吗？")))
        return false;
    m_cmdRestore->setEnabled(false);
    setBusyCursor(true);
    QString error;
    const bool restored = restoreFactoryParameters(m_rating, m_deviceId, &error);
    if (restored) {
        // The alarms work on the in-memory table: it takes the restored limits now.
        if (m_tablesChanged)
        m_tablesChanged();
        for (int i = 0; i < kRestoreRefreshes; ++i) {
            waitSeconds(kFactoryStepSeconds * m_pauseScale);
            refreshGrid();
        }
    }
    m_cmdRestore->setEnabled(true);
    setBusyCursor(false);
    if (!restored) {
        messages().show(stationTitle(),
                        localText(QStringLiteral("未能恢复出厂设定，参数表保持原样。\r\n"),
                                  QStringLiteral("The factory parameters were not restored; the table is unchanged.\r\n"))
                            + error,
                        MessageIcon::Warning);
    }
    return restored;
}

bool frmParSet3::cmdSaveToDefaultClick()
{
    messages().beep();
    if (!confirmYesNo(QStringLiteral("Info"), QStringLiteral(" 将要删除本设备单元所有出厂预设参数信息！  \r\n\r\n"
                                                             " 使用当前用户设置参数\r\n\r\n 继续吗？")))
        return false;
    m_cmdSaveToDefault->setEnabled(false);
    setBusyCursor(true);
    QString error;
    const bool saved = saveParametersAsFactory(m_rating, m_deviceId, &error);
    if (saved)
        waitSeconds(kFactoryStepSeconds * m_pauseScale);
    m_cmdSaveToDefault->setEnabled(true);
    setBusyCursor(false);
    if (!saved) {
        messages().show(stationTitle(),
                        localText(QStringLiteral("未能保存为出厂设定，出厂参数表保持原样。\r\n"),
                                  QStringLiteral("The parameters were not saved as factory defaults; "
                                                 "the factory table is unchanged.\r\n"))
                            + error,
                        MessageIcon::Warning);
    }
    return saved;
}

void frmParSet3::formActivate()
{
    if (m_closePort)
        m_closePort();
    // Closing the port writes the live values into every row: the first
    // reading of the table follows it, so the grid starts from what is stored.
    if (!m_readAfterPortClosed && !m_grid->hasPendingEdits()) {
        m_readAfterPortClosed = true;
        refreshGrid();
    }
    applyLanguage(this, sysSettings.languageIndex);
}

void frmParSet3::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        formActivate();
    QDialog::changeEvent(event);
}

void frmParSet3::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    formActivate();
}

void frmParSet3::closeEvent(QCloseEvent *event)
{
    setBusyCursor(false);
    QDialog::closeEvent(event);
}

void frmParSet3::showDevice(const QString &devid, const QString &rating)
{
    m_deviceId = devid;
    m_rating = rating.trimmed();
    m_grid->showDevice(devid);
}

} // namespace vantoro
