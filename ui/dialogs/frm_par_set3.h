// The operator's parameter table editor: paraset in a grid with Chinese
// column titles, disabled parameters hidden unless asked, a batch save that
// reloads the in-memory table, and in factory mode the copy to and from the
// factory table of the device's power rating.
#pragma once

#include <QString>

#include <QDialog>
#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;
class QWidget;

namespace vantoro {

class ParasetGrid;

class frmParSet3 : public QDialog
{
public:
    // `closePort` is called on every activation: the editor and the poll
    // must not use the port and the table together.
    explicit frmParSet3(QWidget *owner = nullptr, std::function<void()> closePort = {});
    // The device whose rows are edited (the first of the line until told);
    // `tablesChanged` is called after every write, so the station's tables
    // take the new rows.
    void showDevice(const QString &devid, const QString &rating);
    void onTablesChanged(std::function<void()> tablesChanged) { m_tablesChanged = std::move(tablesChanged); }
    ~frmParSet3() override;

    void chkViewAllClick();
    void chkFactoryModeClick();
    void cmdAddClick();
    void cmdDeleteClick();
    // Reads the table again; unsaved edits are offered for saving first.
    void cmdRefreshClick();
    // Saves every pending edit in one batch, then reloads the parameter table.
    // A failure is shown and the edits stay, to be saved again.
    bool cmdUpdateClick();
    // Both ask first; a No, a missing factory table or any failure changes
    // nothing. A restore also puts the restored limits into use.
    bool cmdRestoreClick();
    bool cmdSaveToDefaultClick();

    // Scales the pauses that follow a save and a factory copy (1 = normal;
    // tests use 0).
    void setPauseScale(double scale) { m_pauseScale = scale; }

    ParasetGrid &grid() const { return *m_grid; }
    QTableView *grdDataGrid() const { return m_grdDataGrid; }
    QCheckBox *chkViewAll() const { return m_chkViewAll; }
    QCheckBox *chkFactoryMode() const { return m_chkFactoryMode; }
    QPushButton *cmdRestore() const { return m_cmdRestore; }
    QPushButton *cmdSaveToDefault() const { return m_cmdSaveToDefault; }
    QLabel *datPrimaryRS() const { return m_datPrimaryRS; }

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void formActivate();
    void recordMoved();
    void refreshGrid();
    // True when the table may be read again: no unsaved edits, or the
    // operator saved or dropped them.
    bool mayDropEdits();
    void showGridError(const QString &description);

    std::function<void()> m_closePort;
    std::unique_ptr<ParasetGrid> m_grid;
    QTableView *m_grdDataGrid = nullptr;
    QWidget *m_picButtons = nullptr;
    QCheckBox *m_chkViewAll = nullptr;
    QCheckBox *m_chkFactoryMode = nullptr;
    QPushButton *m_cmdRestore = nullptr;
    QPushButton *m_cmdSaveToDefault = nullptr;
    QLabel *m_datPrimaryRS = nullptr;
    double m_pauseScale = 1.0;
    bool m_readAfterPortClosed = false;
    std::function<void()> m_tablesChanged;
    QString m_deviceId = QStringLiteral("001");
    QString m_rating;
};

} // namespace vantoro
