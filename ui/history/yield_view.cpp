#include "ui/history/yield_view.h"

#include "history/csv_writer.h"
#include "ui/history/chart_print.h"
#include "ui/history/history_texts.h"

#include "core/message_service.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChartView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QValueAxis>
#include <QVBoxLayout>

namespace vantoro {

namespace {

QPushButton *button(const char *name, QWidget *parent)
{
    auto *b = new QPushButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

} // namespace

YieldView::YieldView(QWidget *parent)
    : QWidget(parent)
    , m_byMonth(new QRadioButton(this))
    , m_byYear(new QRadioButton(this))
    , m_year(new QSpinBox(this))
    , m_month(new QComboBox(this))
    , m_view(new QChartView(this))
    , m_total(new QLabel(this))
    , m_export(button("cmdExportYield", this))
    , m_print(button("cmdPrintYield", this))
    , m_pdf(button("cmdPdfYield", this))
{
    setObjectName(QStringLiteral("tabYield"));
    m_byMonth->setObjectName(QStringLiteral("optYieldMonth"));
    m_byYear->setObjectName(QStringLiteral("optYieldYear"));
    m_byMonth->setChecked(true);
    m_year->setObjectName(QStringLiteral("spnYear"));
    m_year->setRange(2000, 2100);
    m_year->setValue(QDate::currentDate().year());
    m_month->setObjectName(QStringLiteral("cmbMonth"));
    for (int m = 1; m <= 12; ++m)
        m_month->addItem(QString::number(m), m);
    m_month->setCurrentIndex(QDate::currentDate().month() - 1);
    m_view->setObjectName(QStringLiteral("chartYield"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_total->setObjectName(QStringLiteral("lblTotal"));

    auto *bar = new QHBoxLayout;
    for (QWidget *w : std::initializer_list<QWidget *>{m_byMonth, m_byYear, m_year, m_month})
        bar->addWidget(w);
    bar->addStretch();
    for (QWidget *w : std::initializer_list<QWidget *>{m_export, m_print, m_pdf})
        bar->addWidget(w);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_total);

    connect(m_byMonth, &QRadioButton::toggled, this, [this] { reload(); });
    connect(m_year, &QSpinBox::valueChanged, this, [this] { reload(); });
    connect(m_month, &QComboBox::currentIndexChanged, this, [this] { reload(); });
    connect(m_export, &QPushButton::clicked, this, [this] {
        exportWithDialog(this, title() + QStringLiteral(".csv"), QStringLiteral("CSV (*.csv)"),
                         [this](const QString &path, QString *error) {
                             const QList<DayYield> days = daysForExport(error);
                             if (error && !error->isEmpty())
                                 return false;
                             return saveCsvFile(path, [&](QIODevice *d, QString *) { return writeYieldCsv(d, days); },
                                                error);
                         });
    });
    connect(m_print, &QPushButton::clicked, this, [this] { showChartPreview(m_view, title(), this); });
    connect(m_pdf, &QPushButton::clicked, this, [this] {
        const QString path = askPdfPath(this, title());
        if (!path.isEmpty() && !saveChartPdf(m_view, title(), path))
            messages().show(title(), historyText("msgExportFailed") + path, MessageIcon::Warning);
    });
    retranslate();
}

void YieldView::retranslate()
{
    m_byMonth->setText(historyText("optYieldMonth"));
    m_byYear->setText(historyText("optYieldYear"));
    m_export->setText(historyText("cmdExport"));
    m_print->setText(historyText("cmdPrint"));
    m_pdf->setText(historyText("cmdPdf"));
}

void YieldView::setMonth(int year, int month)
{
    const QSignalBlocker a(m_year), b(m_month);
    m_year->setValue(year);
    m_month->setCurrentIndex(month - 1);
}

void YieldView::setDevice(const QString &deviceId)
{
    m_deviceId = deviceId;
}

void YieldView::showYear(bool year)
{
    const QSignalBlocker block(m_byMonth);
    (year ? m_byYear : m_byMonth)->setChecked(true);
}

QString YieldView::title() const
{
    const QString period = m_byYear->isChecked()
                               ? QString::number(m_year->value())
                               : QStringLiteral("%1-%2").arg(m_year->value()).arg(m_month->currentIndex() + 1, 2, 10,
                                                                                 QLatin1Char('0'));
    return historyText("tabYield") + QLatin1Char(' ') + historyDeviceText(m_deviceId, historyText("optPlant"))
        + QLatin1Char(' ') + period;
}

QList<DayYield> YieldView::daysForExport(QString *error) const
{
    QList<DayYield> days;
    const int first = m_byYear->isChecked() ? 1 : m_month->currentIndex() + 1;
    const int last = m_byYear->isChecked() ? 12 : first;
    for (int m = first; m <= last; ++m) {
        const auto month = dailyYields(m_year->value(), m, m_deviceId, error);
        if (!month)
            return {};
        days << *month;
    }
    return days;
}

bool YieldView::reload()
{
    m_month->setEnabled(m_byMonth->isChecked());
    QStringList categories;
    QList<double> values;
    QString error;
    int flagged = 0;
    int reasons = 0;
    if (m_byYear->isChecked()) {
        const auto months = monthlyYields(m_year->value(), m_deviceId, &error);
        for (const MonthYield &m : months.value_or(QList<MonthYield>{})) {
            categories << QLocale().standaloneMonthName(m.month, QLocale::ShortFormat);
            values << m.energyKwh;
            flagged += m.flaggedDays;
            reasons |= m.flagged;
        }
    } else {
        const int month = m_month->currentIndex() + 1;
        const auto days = dailyYields(m_year->value(), month, m_deviceId, &error);
        const QList<DayYield> list = days.value_or(QList<DayYield>{});
        const int length = QDate(m_year->value(), month, 1).daysInMonth();
        for (int d = 1; d <= length; ++d) {
            double energy = 0;
            QString label = QString::number(d);
            for (const DayYield &y : list) {
                if (y.day.day() == d) {
                    energy = y.energyKwh;
                    if (y.flagged) {
                        label += QLatin1Char('*');
                        ++flagged;
                        reasons |= y.flagged;
                    }
                }
            }
            categories << label;
            values << energy;
        }
    }
    if (!error.isEmpty()) {
        messages().show(historyText("Caption"), error, MessageIcon::Warning);
        return false;
    }
    auto *set = new QBarSet(historyText("lblEnergy"));
    set->setColor(QColor(0xe8a317));
    m_sum = 0;
    for (double v : values) {
        *set << v;
        m_sum += v;
    }
    m_bars = int(values.size());
    auto *series = new QBarSeries;
    series->append(set);
    series->setLabelsVisible(m_byYear->isChecked());
    series->setLabelsFormat(QStringLiteral("@value"));
    auto *chart = new QChart;
    chart->addSeries(series);
    auto *x = new QBarCategoryAxis;
    x->append(categories);
    auto *y = new QValueAxis;
    y->setTitleText(QStringLiteral("kWh"));
    y->setLabelFormat(QStringLiteral("%.1f"));
    y->setMin(0);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    double most = 0;
    for (double v : values)
        most = std::max(most, v);
    y->setRange(0, most > 0 ? most * 1.1 : 1);
    y->applyNiceNumbers();
    chart->legend()->hide();
    chart->setTitle(title());
    QChart *old = m_view->chart();
    m_view->setChart(chart);
    delete old;
    QString total = historyText("lblTotal").arg(QString::number(m_sum, 'f', 1));
    if (flagged > 0)
        total += QStringLiteral("    ") + historyText("lblFlagged").arg(yieldFlagText(reasons));
    m_total->setText(total);
    return true;
}

void YieldView::exportCsv(const QString &path)
{
    QString error;
    const QList<DayYield> days = daysForExport(&error);
    if (!saveCsvFile(path, [&](QIODevice *d, QString *) { return writeYieldCsv(d, days); }, &error))
        messages().show(historyText("Caption"), historyText("msgExportFailed") + error, MessageIcon::Warning);
}

} // namespace vantoro
