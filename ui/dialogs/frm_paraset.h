// The plain record editor over table paraset: a grid with browse and edit
// states, record navigation by buttons and keys, and a status line.
#pragma once

#include <QString>

#include <functional>

#include <QWidget>
#include <memory>

class QLabel;
class QPushButton;
class QTableView;

namespace vantoro {

class ParasetGrid;

class frmparaset : public QWidget
{
public:
    explicit frmparaset(QWidget *owner = nullptr);
    // The device whose rows are edited (the first of the line until told);
    // `tablesChanged` is called after every write, so the station's tables
    // take the new rows.
    void showDevice(const QString &devid, const QString &rating);
    void onTablesChanged(std::function<void()> tablesChanged) { m_tablesChanged = std::move(tablesChanged); }
    ~frmparaset() override;

    // Opens the one editor owned by `owner`, or brings the open one forward.
    static frmparaset *showParaset(QWidget *owner);

    void cmdAddClick();
    void cmdEditClick();
    // Saves the pending edits in one batch and reloads the parameter table.
    bool cmdUpdateClick();
    void cmdCancelClick();
    void cmdRefreshClick();
    // Deletes the current record at once (browse state holds no other edit).
    bool cmdDeleteClick();
    void cmdFirstClick();
    void cmdPreviousClick();
    void cmdNextClick();
    void cmdLastClick();

    bool isEditing() const { return m_editFlag; }
    bool isAdding() const { return m_addNewFlag; }
    bool dataChanged() const { return m_dataChanged; }
    ParasetGrid &grid() const { return *m_grid; }
    QTableView *grdDataGrid() const { return m_grdDataGrid; }
    QLabel *lblStatus() const { return m_lblStatus; }
    QPushButton *button(const QString &name) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Browse state: Add, Edit, Delete, Close, Refresh and navigation;
    // edit state: Update and Cancel only.
    void setButtons(bool browse);
    bool handleKey(QKeyEvent *event);
    void recordMoved();
    void showError(const QString &description);

    std::unique_ptr<ParasetGrid> m_grid;
    QTableView *m_grdDataGrid = nullptr;
    QWidget *m_picButtons = nullptr;
    QWidget *m_picStatBox = nullptr;
    QLabel *m_lblStatus = nullptr;
    bool m_editFlag = false;
    bool m_addNewFlag = false;
    bool m_dataChanged = false;
    std::function<void()> m_tablesChanged;
    QString m_deviceId = QStringLiteral("001");
    QString m_rating;
};

} // namespace vantoro
