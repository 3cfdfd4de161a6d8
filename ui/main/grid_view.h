// The parameter grid (Grid1): one row per enabled parameter with its name,
// value, unit, limits and id; values of faulty parameters in red.
#pragma once

#include "ui/main/shown_table.h"

#include <QTableWidget>

namespace vantoro {

class GridView : public QTableWidget, public ShownTable
{
public:
    static constexpr int COLUMNS = 6;
    static constexpr int COL_ID = 5;

    explicit GridView(QWidget *parent = nullptr);

    // Rebuilds headings and rows from the parameter table.
    void createStructure();
    // New values and colours into the value column, keeping the selection.
    void refreshGrid();
    // Column widths from the grid's width.
    void resizeGrid();
};

} // namespace vantoro
