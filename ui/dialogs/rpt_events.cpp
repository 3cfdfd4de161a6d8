// Layout and painting of the printed event list, its preview and PDF output.
#include "ui/dialogs/rpt_events.h"

#include "core/localisation.h"
#include "core/message_service.h"
#include "events/event_query.h"

#include <QAction>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTextLayout>
#include <QToolBar>
#include <memory>

namespace vantoro {

namespace {

enum FontRole { DetailFont, HeadingFont, TitleFont, FooterFont };

QFont reportFont(int role)
{
    QFont font;
    switch (role) {
    case TitleFont:
        font.setPointSizeF(16);
        font.setBold(true);
        break;
    case HeadingFont:
        font.setPointSizeF(10);
        font.setBold(true);
        break;
    case FooterFont:
        font.setPointSizeF(8);
        break;
    default:
        font.setPointSizeF(10);
        break;
    }
    return font;
}

struct WrappedText
{
    QStringList lines;
    QList<qreal> widths;
};

// Breaks at word boundaries, or anywhere when a word is wider than the
// column, so a long number or an unspaced Chinese text still fits.
WrappedText wrapText(const QString &text, const QFont &font, const QPaintDevice *device, qreal width)
{
    WrappedText wrapped;
    QTextLayout layout(text, font, device);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        wrapped.lines << text.mid(line.textStart(), line.textLength());
        wrapped.widths << line.naturalTextWidth();
    }
    layout.endLayout();
    if (wrapped.lines.isEmpty()) {
        wrapped.lines << QString();
        wrapped.widths << 0;
    }
    return wrapped;
}

RptEvents::Item placeText(const QString &section, const QString &name, const QString &text, int role,
                          const QPaintDevice *device, const QRectF &column, Qt::Alignment align)
{
    const QFont font = reportFont(role);
    const QFontMetricsF metrics(font, device);
    const WrappedText wrapped = wrapText(text, font, device, column.width());
    RptEvents::Item item;
    item.section = section;
    item.name = name;
    item.fontRole = role;
    item.lines = wrapped.lines;
    for (int i = 0; i < wrapped.lines.size(); ++i) {
        qreal x = column.left();
        if (align & Qt::AlignHCenter)
            x += (column.width() - wrapped.widths[i]) / 2;
        else if (align & Qt::AlignRight)
            x += column.width() - wrapped.widths[i];
        item.baselines << QPointF(x, column.top() + i * metrics.lineSpacing() + metrics.ascent());
    }
    item.rect = QRectF(column.left(), column.top(), column.width(), wrapped.lines.size() * metrics.lineSpacing());
    return item;
}

QString pageFooterText(int language, int page, int pages)
{
    if (language == LANGUAGE_ENGLISH)
        return QStringLiteral("Page %1 of %2").arg(page).arg(pages);
    return QStringLiteral("第 %1 页，共 %2 页").arg(page).arg(pages);
}

QString printDateText(int language, const QDateTime &when)
{
    const QString stamp = when.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    if (language == LANGUAGE_ENGLISH)
        return QStringLiteral("Printed %1").arg(stamp);
    return QStringLiteral("打印日期：%1").arg(stamp);
}

} // namespace

void RptEvents::addRecord(const QString &time, const QString &detail)
{
    m_records.append({leftChars(time, EVENT_PRINT_TIME_CHARS), leftChars(detail, EVENT_PRINT_DETAIL_CHARS)});
}

QList<RptEvents::Page> RptEvents::layoutPages(const QPaintDevice *device, const QSizeF &size) const
{
    const QFontMetricsF detail(reportFont(DetailFont), device);
    const QFontMetricsF heading(reportFont(HeadingFont), device);
    const QFontMetricsF title(reportFont(TitleFont), device);
    const QFontMetricsF footer(reportFont(FooterFont), device);

    const qreal width = size.width();
    const qreal gap = detail.averageCharWidth() * 3;
    // A stored time fits on one line; a longer time text wraps.
    const qreal timeWidth = qMin(detail.horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + gap, width * 0.4);
    const qreal detailLeft = timeWidth;
    const qreal detailWidth = width - detailLeft;
    const qreal rowGap = detail.lineSpacing() * 0.3;
    const qreal footerTop = size.height() - footer.lineSpacing();
    const qreal bodyBottom = footerTop - footer.lineSpacing() * 0.5;

    QList<Page> pages;
    Page page;
    qreal y = 0;
    bool pageHasRecords = false;

    auto startPage = [&](bool first) {
        page = Page();
        y = 0;
        pageHasRecords = false;
        if (first) {
            const Item item = placeText(QStringLiteral("section4"), QStringLiteral("lbltitle"), lbltitle, TitleFont,
                                        device, QRectF(0, y, width, 0), Qt::AlignHCenter);
            page.items << item;
            y = item.rect.bottom() + title.lineSpacing() * 0.5;
            if (!lblsubtitle.isEmpty()) {
                const Item sub = placeText(QStringLiteral("section4"), QStringLiteral("lblsubtitle"), lblsubtitle,
                                           HeadingFont, device, QRectF(0, y, width, 0), Qt::AlignHCenter);
                page.items << sub;
                y = sub.rect.bottom() + title.lineSpacing() * 0.5;
            }
        }
        const Item time = placeText(QStringLiteral("section2"), QStringLiteral("lbltime"), lbltime, HeadingFont,
                                    device, QRectF(0, y, timeWidth - gap, 0), Qt::AlignLeft);
        const Item event = placeText(QStringLiteral("section2"), QStringLiteral("label2"), label2, HeadingFont,
                                     device, QRectF(detailLeft, y, detailWidth, 0), Qt::AlignLeft);
        page.items << time << event;
        y = qMax(time.rect.bottom(), event.rect.bottom()) + heading.lineSpacing() * 0.2;
        page.rules << y;
        y += heading.lineSpacing() * 0.3;
    };

    startPage(true);
    for (const Record &record : m_records) {
        Item time = placeText(QStringLiteral("detail"), QStringLiteral("eventtime"), record.eventtime, DetailFont,
                              device, QRectF(0, y, timeWidth - gap, 0), Qt::AlignLeft);
        Item event = placeText(QStringLiteral("detail"), QStringLiteral("eventdetail"), record.eventdetail,
                               DetailFont, device, QRectF(detailLeft, y, detailWidth, 0), Qt::AlignLeft);
        const qreal height = qMax(time.rect.height(), event.rect.height());
        if (pageHasRecords && y + height > bodyBottom) {
            pages << page;
            startPage(false);
            time = placeText(QStringLiteral("detail"), QStringLiteral("eventtime"), record.eventtime, DetailFont,
                             device, QRectF(0, y, timeWidth - gap, 0), Qt::AlignLeft);
            event = placeText(QStringLiteral("detail"), QStringLiteral("eventdetail"), record.eventdetail,
                              DetailFont, device, QRectF(detailLeft, y, detailWidth, 0), Qt::AlignLeft);
        }
        page.items << time << event;
        y += height + rowGap;
        pageHasRecords = true;
    }
    pages << page;

    for (int i = 0; i < pages.size(); ++i) {
        pages[i].rules << footerTop - footer.lineSpacing() * 0.25;
        pages[i].items << placeText(QStringLiteral("section3"), QStringLiteral("printdate"),
                                    printDateText(language, printedAt), FooterFont, device,
                                    QRectF(0, footerTop, width / 2, 0), Qt::AlignLeft);
        pages[i].items << placeText(QStringLiteral("section3"), QStringLiteral("pagefooter"),
                                    pageFooterText(language, i + 1, int(pages.size())), FooterFont, device,
                                    QRectF(width / 2, footerTop, width / 2, 0), Qt::AlignRight);
    }
    return pages;
}

bool RptEvents::render(QPagedPaintDevice *device) const
{
    QPainter painter;
    if (!painter.begin(device))
        return false;
    const QSizeF size(device->width(), device->height());
    const QList<Page> pages = layoutPages(device, size);
    QPen rulePen(Qt::black);
    rulePen.setWidthF(qMax<qreal>(1.0, device->logicalDpiY() / 150.0));
    for (int p = 0; p < pages.size(); ++p) {
        if (p > 0)
            device->newPage();
        painter.setPen(rulePen);
        for (qreal y : pages[p].rules)
            painter.drawLine(QPointF(0, y), QPointF(size.width(), y));
        painter.setPen(Qt::black);
        for (const Item &item : pages[p].items) {
            painter.setFont(reportFont(item.fontRole));
            for (int i = 0; i < item.lines.size(); ++i)
                painter.drawText(item.baselines[i], item.lines[i]);
        }
    }
    return painter.end();
}

bool RptEvents::saveAsPdf(const QString &path) const
{
    QPrinter printer(QPrinter::HighResolution);
    setupPrinter(&printer);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setDocName(lbltitle);
    return render(&printer);
}

void RptEvents::setupPrinter(QPrinter *printer)
{
    printer->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                       QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
}

QPrintPreviewDialog *RptEvents::showPreview(QWidget *over) const
{
    auto *dialog = new QPrintPreviewDialog(over);
    dialog->setObjectName(QStringLiteral("RptEvents"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(lbltitle);
    setupPrinter(dialog->printer());
    dialog->printer()->setDocName(lbltitle);

    const auto report = std::make_shared<RptEvents>(*this);
    QObject::connect(dialog, &QPrintPreviewDialog::paintRequested, dialog,
                     [report](QPrinter *printer) { report->render(printer); });

    if (auto *toolBar = dialog->findChild<QToolBar *>()) {
        toolBar->addSeparator();
        QAction *save = toolBar->addAction(language == LANGUAGE_ENGLISH ? QStringLiteral("Save as PDF")
                                                                        : QStringLiteral("另存为 PDF"));
        save->setObjectName(QStringLiteral("actionSavePdf"));
        QObject::connect(save, &QAction::triggered, dialog, [report, dialog] {
            const QString path = QFileDialog::getSaveFileName(dialog, report->lbltitle, report->pdfFileName,
                                                              QStringLiteral("PDF (*.pdf)"));
            if (path.isEmpty())
                return;
            const QString file = path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive) ? path
                                                                                             : path + QLatin1String(".pdf");
            if (!report->saveAsPdf(file)) {
                const QString text = report->language == LANGUAGE_ENGLISH ? QStringLiteral("The PDF file could not be written:")
                                                                           : QStringLiteral("无法写入 PDF 文件：");
                messages().show(report->lbltitle, text + QLatin1Char('\n') + file, MessageIcon::Warning);
                return;
            }
            const QString done = report->language == LANGUAGE_ENGLISH ? QStringLiteral("%1 events saved as PDF:")
                                                                       : QStringLiteral("已将 %1 条事件保存为 PDF：");
            messages().show(report->lbltitle, done.arg(report->records().size()) + QLatin1Char('\n') + file,
                            MessageIcon::Information);
        });
    }
    dialog->show();
    return dialog;
}

} // namespace vantoro
