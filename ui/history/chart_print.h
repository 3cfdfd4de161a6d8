// Printing and PDF of a chart as shown: a title line and the chart scaled
// to an A4 landscape page, the same preview with its PDF button as the
// event report.
#pragma once

#include <QString>

class QPagedPaintDevice;
class QWidget;

namespace vantoro {

// Paints `title` and `view` onto one page; false when the device refused.
bool renderChartPage(QWidget *view, const QString &title, QPagedPaintDevice *device);
bool saveChartPdf(QWidget *view, const QString &title, const QString &path);
// The print preview of the chart over `over`; it deletes itself on close.
void showChartPreview(QWidget *view, const QString &title, QWidget *over);

} // namespace vantoro
