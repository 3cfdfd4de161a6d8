#include "ui/history/chart_print.h"

#include "core/localisation.h"
#include "core/message_service.h"

#include <QAction>
#include <QFileDialog>
#include <QPainter>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolBar>

namespace vantoro {

namespace {

void setupPrinter(QPrinter *printer)
{
    printer->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                       QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
}

} // namespace

bool renderChartPage(QWidget *view, const QString &title, QPagedPaintDevice *device)
{
    QPainter painter;
    if (!painter.begin(device))
        return false;
    const QRect page = painter.viewport();
    QFont font = painter.font();
    font.setPointSizeF(14);
    painter.setFont(font);
    const int titleHeight = painter.fontMetrics().height() * 2;
    painter.drawText(QRect(page.left(), page.top(), page.width(), titleHeight), Qt::AlignLeft | Qt::AlignVCenter, title);
    font.setPointSizeF(8);
    painter.setFont(font);
    painter.drawText(QRect(page.left(), page.top(), page.width(), titleHeight), Qt::AlignRight | Qt::AlignVCenter,
                     QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    // The chart is drawn at its on-screen size and scaled, so text and lines
    // keep their proportions.
    const QRect target(page.left(), page.top() + titleHeight, page.width(), page.height() - titleHeight);
    const QSize size = view->size();
    const double scale = std::min(double(target.width()) / size.width(), double(target.height()) / size.height());
    painter.translate(target.left(), target.top());
    painter.scale(scale, scale);
    view->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    return painter.end();
}

bool saveChartPdf(QWidget *view, const QString &title, const QString &path)
{
    QPrinter printer(QPrinter::HighResolution);
    setupPrinter(&printer);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setDocName(title);
    return renderChartPage(view, title, &printer);
}

void showChartPreview(QWidget *view, const QString &title, QWidget *over)
{
    auto *dialog = new QPrintPreviewDialog(over);
    dialog->setObjectName(QStringLiteral("RptHistory"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title);
    setupPrinter(dialog->printer());
    dialog->printer()->setDocName(title);
    QPointer<QWidget> shown(view);
    QObject::connect(dialog, &QPrintPreviewDialog::paintRequested, dialog, [shown, title](QPrinter *printer) {
        if (shown)
            renderChartPage(shown, title, printer);
    });
    dialog->show();
}

} // namespace vantoro
