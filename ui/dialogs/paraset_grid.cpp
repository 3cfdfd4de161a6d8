// The paraset grid of the parameter editors.
#include "ui/dialogs/paraset_grid.h"

#include "core/common.h"
#include "core/database.h"

#include <QHeaderView>
#include <QSqlError>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QTableView>

namespace vantoro {

ParasetFilter::ParasetFilter(QObject *parent)
    : QSortFilterProxyModel(parent)
{
    // Filtered only when asked, so a row does not vanish while it is edited.
    setDynamicSortFilter(false);
}

void ParasetFilter::setOnlyEnabled(bool onlyEnabled)
{
    m_onlyEnabled = onlyEnabled;
    invalidateFilter();
}

bool ParasetFilter::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (!m_onlyEnabled)
        return true;
    auto *table = qobject_cast<QSqlTableModel *>(sourceModel());
    if (!table)
        return true;
    const QModelIndex enabled = table->index(sourceRow, table->fieldIndex(QStringLiteral("ENABLED")), sourceParent);
    if (table->isDirty(enabled) || table->headerData(sourceRow, Qt::Vertical).toString() == QLatin1String("*"))
        return true;
    return leadingNumber(table->data(enabled).toString()) != 0;
}

ParasetGrid::ParasetGrid(QObject *owner, QTableView *view, const QList<GridColumn> &columns)
    : m_connection(std::make_unique<DbConnection>())
    , m_view(view)
{
    m_model = new QSqlTableModel(owner, m_connection->database());
    m_model->setEditStrategy(QSqlTableModel::OnManualSubmit);
    m_filter = new ParasetFilter(owner);
    m_filter->setSourceModel(m_model);
    m_view->setModel(m_filter);
    if (!m_connection->isOpen()) {
        m_error = m_connection->errorText();
        return;
    }
    m_model->setTable(QStringLiteral("paraset"));
    m_model->setSort(m_model->fieldIndex(QStringLiteral("PARAID")), Qt::AscendingOrder);
    // Read first: the filter maps header changes only once it has rows.
    requery();

    QHeaderView *header = m_view->horizontalHeader();
    for (int i = 0; i < m_model->columnCount(); ++i)
        m_view->setColumnHidden(i, true);
    for (int position = 0; position < columns.size(); ++position) {
        const int field = m_model->fieldIndex(QString::fromLatin1(columns[position].name));
        if (field < 0)
            continue;
        m_model->setHeaderData(field, Qt::Horizontal, columns[position].title);
        m_view->setColumnHidden(field, false);
        header->moveSection(header->visualIndex(field), position);
    }
}

ParasetGrid::~ParasetGrid()
{
    // The model's statement must end before its connection closes.
    m_view->setModel(nullptr);
    delete m_filter;
    delete m_model;
    m_connection.reset();
}

bool ParasetGrid::isOpen() const
{
    return m_connection->isOpen() && m_error.isEmpty();
}

bool ParasetGrid::requery()
{
    if (!m_connection->isOpen())
        return false;
    if (!m_model->select()) {
        m_error = m_model->lastError().text();
        return false;
    }
    // Fetched to the end, the statement lets go of its read snapshot, so a
    // later save on this connection is not refused for a stale one.
    while (m_model->canFetchMore())
        m_model->fetchMore();
    m_error.clear();
    refilter();
    return true;
}

void ParasetGrid::refilter()
{
    m_filter->invalidate();
}

bool ParasetGrid::submitAll()
{
    QSqlDatabase db = m_connection->database();
    if (!db.transaction()) {
        m_error = db.lastError().text();
        return false;
    }
    if (!m_model->submitAll()) {
        m_error = m_model->lastError().text();
        db.rollback();
        return false;
    }
    while (m_model->canFetchMore())
        m_model->fetchMore();
    if (!db.commit()) {
        m_error = db.lastError().text();
        db.rollback();
        return false;
    }
    m_error.clear();
    refilter();
    return true;
}

int ParasetGrid::currentRow() const
{
    return m_view->currentIndex().isValid() ? m_view->currentIndex().row() : -1;
}

int ParasetGrid::rowCount() const
{
    return m_filter->rowCount();
}

void ParasetGrid::setCurrentRow(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    int column = m_view->currentIndex().isValid() ? m_view->currentIndex().column() : -1;
    if (column < 0 || m_view->isColumnHidden(column))
        column = m_view->horizontalHeader()->logicalIndex(0);
    m_view->setCurrentIndex(m_filter->index(row, column));
}

int ParasetGrid::sourceRow(int row) const
{
    return m_filter->mapToSource(m_filter->index(row, 0)).row();
}

} // namespace vantoro
