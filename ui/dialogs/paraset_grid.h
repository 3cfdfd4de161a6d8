// The editable grid over table paraset that both parameter editors use: a
// table model on the editor's own connection, edits held until one batch
// save, columns in the editor's order with its titles, and a filter that
// can hide disabled parameters.
#pragma once

#include <QList>
#include <QSortFilterProxyModel>
#include <QString>
#include <memory>

class QSqlTableModel;
class QTableView;

namespace vantoro {

class DbConnection;

struct GridColumn
{
    const char *name;
    QString title;
};

// Hides rows whose ENABLED is 0 while `onlyEnabled` is set. Rows with
// unsaved edits (a new row among them) stay visible until the next refresh.
class ParasetFilter : public QSortFilterProxyModel
{
public:
    explicit ParasetFilter(QObject *parent = nullptr);
    void setOnlyEnabled(bool onlyEnabled);
    bool onlyEnabled() const { return m_onlyEnabled; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    bool m_onlyEnabled = false;
};

class ParasetGrid
{
public:
    // Opens the editor's connection to the station's database and the
    // model over paraset in PARAID order; `columns` are shown, others hidden.
    ParasetGrid(QObject *owner, QTableView *view, const QList<GridColumn> &columns);
    ~ParasetGrid();
    ParasetGrid(const ParasetGrid &) = delete;
    ParasetGrid &operator=(const ParasetGrid &) = delete;

    bool isOpen() const;
    QString errorText() const { return m_error; }
    QSqlTableModel *model() const { return m_model; }
    ParasetFilter *filter() const { return m_filter; }
    QTableView *view() const { return m_view; }

    // Reads the table again (unsaved edits are dropped) and re-filters.
    bool requery();
    // Shows only the rows of one device (its id is three digits); an empty
    // id shows every row. Reads the rows again.
    bool showDevice(const QString &devid);
    void refilter();
    bool hasPendingEdits() const;
    // Writes every pending edit in one transaction, each row found by its
    // key (DEVID, PARAID) and each change required to hit exactly one row.
    // On failure nothing is written and every edit stays pending, so the
    // next save sends them all again.
    bool submitAll();

    // Record positions in the grid's order (0-based, -1 when none).
    int currentRow() const;
    int rowCount() const;
    void setCurrentRow(int row);
    // The model row behind a grid row.
    int sourceRow(int row) const;

private:
    std::unique_ptr<DbConnection> m_connection;
    QSqlTableModel *m_model = nullptr;
    ParasetFilter *m_filter = nullptr;
    QTableView *m_view = nullptr;
    QString m_error;
};

} // namespace vantoro
