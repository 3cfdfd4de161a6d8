// The paraset grid of the parameter editors.
#include "ui/dialogs/paraset_grid.h"

#include <QRegularExpression>

#include "acquisition/param_names.h"
#include "core/common.h"
#include "core/database.h"

#include "core/localisation.h"

#include <QHeaderView>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QTableView>
#include <algorithm>

namespace vantoro {

namespace {

// paraset has no primary key of its own: a row is the parameter PARAID of
// device DEVID. Without a key the model would match a row on every old
// column, and a value the poll changed meanwhile would make it miss.
class ParasetModel : public QSqlTableModel
{
public:
    using QSqlTableModel::QSqlTableModel;

    void keyRowsByParameter()
    {
        QSqlIndex key(tableName(), QStringLiteral("parameter"));
        const QSqlRecord fields = record();
        for (const char *name : {"DEVID", "PARAID"}) {
            const int i = fields.indexOf(QString::fromLatin1(name));
            if (i >= 0)
                key.append(fields.field(i));
        }
        setPrimaryKey(key);
    }

    // The key the row had when it was read: the one it is found by.
    QSqlRecord storedKey(int row) const { return primaryValues(row); }

    // Names and status texts show in the interface language; editing and
    // saving work on the stored text.
    QVariant data(const QModelIndex &index, int role) const override
    {
        const QVariant stored = QSqlTableModel::data(index, role);
        if (role != Qt::DisplayRole || !index.isValid())
            return stored;
        const int column = index.column();
        const int code = fieldIndex(QStringLiteral("PARACODE"));
        if (code < 0)
            return stored;
        QString suffix;
        if (column == fieldIndex(QStringLiteral("PARANAME"))) {
        } else if (column == fieldIndex(QStringLiteral("SRCSTRING"))) {
            suffix = QStringLiteral(".SrcString");
        } else if (column == fieldIndex(QStringLiteral("OKSTRING"))) {
            suffix = QStringLiteral(".OkString");
        } else if (column == fieldIndex(QStringLiteral("PARAVALUE"))) {
            const QString value = stored.toString();
            if (value.isEmpty())
                return stored;
            const auto cell = [this, &index](const char *field) {
                return QSqlTableModel::data(this->index(index.row(), fieldIndex(QString::fromLatin1(field)))).toString();
            };
            if (value == cell("SRCSTRING"))
                suffix = QStringLiteral(".SrcString");
            else if (value == cell("OKSTRING"))
                suffix = QStringLiteral(".OkString");
            else
                return stored;
        } else {
            return stored;
        }
        const QString codeText = QSqlTableModel::data(this->index(index.row(), code)).toString();
        return shippedParameterText(codeText, suffix, stored.toString());
    }
};

struct PendingEdit
{
    enum Kind { Delete, Update, Insert } kind;
    QSqlRecord key;    // as read; empty for a new row
    QSqlRecord values; // the fields to write
};

QList<PendingEdit> pendingEdits(const ParasetModel &model)
{
    QList<PendingEdit> edits;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QString mark = model.headerData(row, Qt::Vertical).toString();
        QSqlRecord values = model.record(row);
        if (mark == QLatin1String("*")) {
            for (int c = 0; c < values.count(); ++c)
                values.setGenerated(c, !values.isNull(c));
            edits.append({PendingEdit::Insert, {}, values});
        } else if (mark == QLatin1String("!")) {
            edits.append({PendingEdit::Delete, model.storedKey(row), {}});
        } else {
            bool changed = false;
            for (int c = 0; c < values.count(); ++c) {
                const bool dirty = model.isDirty(model.index(row, c));
                values.setGenerated(c, dirty);
                changed = changed || dirty;
            }
            if (changed)
                edits.append({PendingEdit::Update, model.storedKey(row), values});
        }
    }
    // Deletes first: a new row may take the key of a deleted one.
    std::stable_sort(edits.begin(), edits.end(),
                     [](const PendingEdit &a, const PendingEdit &b) { return a.kind < b.kind; });
    return edits;
}

QString keyText(const QSqlRecord &key)
{
    QStringList parts;
    for (int i = 0; i < key.count(); ++i)
        parts << key.value(i).toString();
    return parts.join(QLatin1Char('/'));
}

bool writeEdit(QSqlDatabase &db, const QString &table, const PendingEdit &edit, QString *error)
{
    QSqlDriver *driver = db.driver();
    auto name = [driver](const QString &field) { return driver->escapeIdentifier(field, QSqlDriver::FieldName); };
    QStringList fields;
    QVariantList binds;
    for (int c = 0; c < edit.values.count(); ++c) {
        if (!edit.values.isGenerated(c))
            continue;
        fields << name(edit.values.fieldName(c));
        binds << edit.values.value(c);
    }
    QStringList where;
    for (int i = 0; i < edit.key.count(); ++i) {
        where << name(edit.key.fieldName(i)) + QStringLiteral(" IS ?");
        binds << edit.key.value(i);
    }
    QString sql;
    switch (edit.kind) {
    case PendingEdit::Delete:
        sql = QStringLiteral("delete from %1 where %2").arg(table, where.join(QStringLiteral(" and ")));
        break;
    case PendingEdit::Update:
        sql = QStringLiteral("update %1 set %2 where %3")
                  .arg(table, fields.join(QStringLiteral("=?, ")) + QStringLiteral("=?"),
                       where.join(QStringLiteral(" and ")));
        break;
    case PendingEdit::Insert:
        if (fields.isEmpty())
            return true;
        sql = QStringLiteral("insert into %1 (%2) values (%3)")
                  .arg(table, fields.join(QLatin1Char(',')), QStringList(fields.size(), QStringLiteral("?")).join(QLatin1Char(',')));
        break;
    }
    QSqlQuery query(db);
    if (!query.prepare(sql)) {
        *error = query.lastError().text();
        return false;
    }
    for (const QVariant &value : std::as_const(binds))
        query.addBindValue(value);
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    // A statement that changed no row, or several, did not do what was asked.
    if (query.numRowsAffected() != 1) {
        *error = langText(QStringLiteral("frmParSet3"), QStringLiteral("msgRowNotMatched"))
                     .arg(keyText(edit.key))
                     .arg(query.numRowsAffected());
        return false;
    }
    return true;
}

} // namespace

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
    auto *model = new ParasetModel(owner, m_connection->database());
    m_model = model;
    m_model->setEditStrategy(QSqlTableModel::OnManualSubmit);
    m_filter = new ParasetFilter(owner);
    m_filter->setSourceModel(m_model);
    m_view->setModel(m_filter);
    if (!m_connection->isOpen()) {
        m_error = m_connection->errorText();
        return;
    }
    m_model->setTable(QStringLiteral("paraset"));
    model->keyRowsByParameter();
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

bool ParasetGrid::showDevice(const QString &devid)
{
    // The id goes into the filter text: only digits are let through.
    static const QRegularExpression digits(QStringLiteral("^\\d{1,3}$"));
    m_model->setFilter(digits.match(devid).hasMatch() ? QStringLiteral("DEVID = '%1'").arg(devid) : QString());
    return requery();
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

bool ParasetGrid::hasPendingEdits() const
{
    return m_model->isDirty();
}

bool ParasetGrid::submitAll()
{
    // Written here rather than by the model, which marks each row it sent as
    // saved even when the transaction is then rolled back.
    QSqlDatabase db = m_connection->database();
    const QList<PendingEdit> edits = pendingEdits(*static_cast<ParasetModel *>(m_model));
    if (!db.transaction()) {
        m_error = db.lastError().text();
        return false;
    }
    const QString table = db.driver()->escapeIdentifier(m_model->tableName(), QSqlDriver::TableName);
    for (const PendingEdit &edit : edits) {
        if (!writeEdit(db, table, edit, &m_error)) {
            db.rollback();
            return false;
        }
    }
    if (!db.commit()) {
        m_error = db.lastError().text();
        db.rollback();
        return false;
    }
    return requery();
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
