// The parameter grid.
#include "ui/main/grid_view.h"

#include "acquisition/param_format.h"
#include "acquisition/param_names.h"
#include "acquisition/param_table.h"
#include "core/common.h"
#include "core/localisation.h"
#include "core/view_layout.h"
#include "events/status_evaluation.h"
#include "ui/controls/colour_value.h"
#include "ui/twips.h"

#include <QHeaderView>

namespace vantoro {

namespace {

const char *const headings[GridView::COLUMNS] = {"Name", "Value", "Unit", "LBound", "UBound", "ID"};
const Qt::Alignment columnAlignment[GridView::COLUMNS] = {
    Qt::AlignCenter, Qt::AlignRight | Qt::AlignVCenter, Qt::AlignCenter,
    Qt::AlignRight | Qt::AlignVCenter, Qt::AlignRight | Qt::AlignVCenter, Qt::AlignRight | Qt::AlignVCenter,
};

// Suspends repainting for a rebuild and resumes it however the rebuild ends.
class RedrawPause
{
public:
    explicit RedrawPause(QWidget *w) : m_w(w), m_was(w->updatesEnabled()) { m_w->setUpdatesEnabled(false); }
    ~RedrawPause() { m_w->setUpdatesEnabled(m_was); }
    RedrawPause(const RedrawPause &) = delete;
    RedrawPause &operator=(const RedrawPause &) = delete;

private:
    QWidget *m_w;
    bool m_was;
};

} // namespace

GridView::GridView(QWidget *parent)
    : QTableWidget(parent)
{
    setObjectName(QStringLiteral("Grid1"));
    setColumnCount(COLUMNS);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAlternatingRowColors(true);
    verticalHeader()->hide();
    // The columns are sized to fit; a scroll bar appears only when the
    // window is too narrow for what they hold.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Always there, so the width the columns share does not change when
    // the rows outgrow the view.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setHighlightSections(false);
    setStyleSheet(QStringLiteral(
        "QTableWidget { background: #ffffff; alternate-background-color: #f1f5f9; gridline-color: #d5dde6;"
        " selection-background-color: #cfe3f7; selection-color: #10202f; }"
        "QHeaderView::section { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f6f8fb, stop:1 #dfe6ee);"
        " border: none; border-right: 1px solid #c5cfda; border-bottom: 1px solid #b5c1ce; padding: 4px;"
        " font-weight: bold; color: #23374b; }"));
}

void GridView::createStructure()
{
    RedrawPause pause(this);
    clearContents();
    setRowCount(0);
    setColumnCount(COLUMNS);
    QStringList labels;
    for (const char *key : headings)
        labels << langText(QStringLiteral("frmMain"), QString::fromLatin1(key));
    setHorizontalHeaderLabels(labels);
    setColumnWidth(COL_ID, twipsToPx(GRID_ID_COLUMN_TWIPS, this));

    for (int id = 0; id < PARAM_SLOTS; ++id) {
        const ParamRecord &p = table()[size_t(id)];
        if (p.enabled == 0)
            continue;
        const int row = rowCount();
        insertRow(row);
        const QString texts[COLUMNS] = {parameterName(p),
                                        formatParaField(table(), id, COL_PARAVALUE),
                                        p.unit,
                                        formatParaField(table(), id, COL_RANGEL),
                                        formatParaField(table(), id, COL_RANGEU),
                                        QString::number(id)};
        for (int col = 0; col < COLUMNS; ++col) {
            auto *item = new QTableWidgetItem(texts[col]);
            item->setTextAlignment(columnAlignment[col]);
            setItem(row, col, item);
        }
    }
    resizeGrid();
}

void GridView::refreshGrid()
{
    RedrawPause pause(this);
    const int current = qMax(0, currentRow());
    for (int row = 0; row < rowCount(); ++row) {
        QTableWidgetItem *idItem = item(row, COL_ID);
        QTableWidgetItem *valueItem = item(row, 1);
        if (!idItem || !valueItem)
            continue;
        const int id = truncatedInt(leadingNumber(idItem->text()));
        const QColor colour = colourFromValue(getCellColor(table(), id));
        if (valueItem->foreground().color() != colour)
            valueItem->setForeground(colour);
        const QString text = formatParaValue(table(), id) + calibrationMarker(table(), id);
        if (valueItem->text() != text)
            valueItem->setText(text);
        const QString tip = calibratedToolTip(table(), id);
        if (valueItem->toolTip() != tip)
            valueItem->setToolTip(tip);
    }
    if (rowCount() > 0)
        selectRow(qMin(current, rowCount() - 1));
}

void GridView::resizeGrid()
{
    RedrawPause pause(this);
    // A few pixels spare: each column rounds on its own.
    constexpr int ROUNDING_SPARE_PX = COLUMNS;
    const std::array<int, COLUMNS> widths
        = gridColumnWidthsInView(pxToTwips(qMax(0, viewport()->width() - ROUNDING_SPARE_PX), this));
    for (int col = 0; col < COL_ID; ++col)
        setColumnWidth(col, qMax(0, twipsToPx(widths[size_t(col)], this)));
}

} // namespace vantoro
