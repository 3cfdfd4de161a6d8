// Renders the application icon's SVG to the PNG sizes desktops ask for:
// vantoro-mkicons ICON.svg OUTDIR SIZE... writes OUTDIR/<n>x<n>/apps/<name>.png.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4) {
        QTextStream(stderr) << "usage: vantoro-mkicons ICON.svg OUTDIR SIZE...\n";
        return 2;
    }
    QSvgRenderer renderer(args.at(1));
    if (!renderer.isValid()) {
        QTextStream(stderr) << "not a usable SVG: " << args.at(1) << '\n';
        return 1;
    }
    const QString name = QFileInfo(args.at(1)).completeBaseName();
    for (const QString &sizeText : args.mid(3)) {
        const int size = sizeText.toInt();
        if (size <= 0)
            return 2;
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(args.at(2)).arg(size);
        QDir().mkpath(dir);
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        if (!image.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"))) {
            QTextStream(stderr) << "cannot write " << dir << '\n';
            return 1;
        }
    }
    return 0;
}
