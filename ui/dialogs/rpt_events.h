// The printed event list: a title on the first page, column headings on
// every page, page number and print date in the footer, A4 portrait.
#pragma once

#include <QDateTime>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QStringList>
#include <QString>

class QPagedPaintDevice;
class QPaintDevice;
class QPrinter;
class QPrintPreviewDialog;
class QWidget;

namespace vantoro {

class RptEvents
{
public:
    // One record of the print record set.
    struct Record
    {
        QString eventtime;
        QString eventdetail;
    };

    // One placed text of a page: `name` is the label or field it shows
    // ("lbltitle", "lbltime", "label2", "eventtime", "eventdetail",
    // "pagefooter", "printdate"); `lines` are its wrapped lines, which
    // joined give the text back.
    struct Item
    {
        QString section;
        QString name;
        QRectF rect;
        QList<QPointF> baselines;
        QStringList lines;
        int fontRole = 0;
        QString text() const { return lines.join(QString()); }
    };
    struct Page
    {
        QList<Item> items;
        QList<qreal> rules; // horizontal lines across the page, at these heights
    };

    // Adds a record, the time cut to 25 characters and the text to 200.
    void addRecord(const QString &time, const QString &detail);
    const QList<Record> &records() const { return m_records; }

    // Captions of the report header ("section4") and page header ("section2").
    QString lbltitle;
    QString lbltime;
    QString label2;
    // Under the title: the station and the dates the list covers.
    QString lblsubtitle;
    // What Save as PDF offers, without folder.
    QString pdfFileName;
    // Shown in the footer; set when the report is made.
    QDateTime printedAt = QDateTime::currentDateTime();
    // Language of the footer texts (2 English, any other value Chinese).
    int language = 1;

    // Places everything on pages of `size` (device pixels of `device`).
    QList<Page> layoutPages(const QPaintDevice *device, const QSizeF &size) const;
    // Paints all pages onto a printer or PDF writer; false when the device
    // cannot be painted on (a file that cannot be written).
    bool render(QPagedPaintDevice *device) const;
    bool saveAsPdf(const QString &path) const;

    // A4 portrait with 15 mm margins.
    static void setupPrinter(QPrinter *printer);
    // Opens the print preview over `over`, not modal; it deletes itself on
    // close. Its toolbar prints (also to a PDF file) and saves as PDF.
    QPrintPreviewDialog *showPreview(QWidget *over) const;

private:
    QList<Record> m_records;
};

} // namespace vantoro
