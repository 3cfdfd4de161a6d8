// Turns the Markdown user manual into manual.pdf with Qt's own text layout.
// Usage: vantoro-mkmanual <manual.md> <manual.pdf>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextStream>

namespace {

// Chinese text needs a CJK font; the first one installed wins.
const char *const cjkFamilies[] = {"WenQuanYi Zen Hei", "WenQuanYi Micro Hei", "Noto Sans CJK SC",
                                   "Source Han Sans SC", "Microsoft YaHei", "SimSun"};

QStringList fontFamilies()
{
    QStringList families;
    const QStringList installed = QFontDatabase::families();
    for (const char *name : cjkFamilies) {
        const QString family = QString::fromLatin1(name);
        if (installed.contains(family, Qt::CaseInsensitive))
            families << family;
    }
    return families;
}

// Each language's part begins on a new page.
void breakBeforeTopHeadings(QTextDocument &document)
{
    bool first = true;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() != 1)
            continue;
        if (first) {
            first = false;
            continue;
        }
        QTextCursor cursor(block);
        QTextBlockFormat format = block.blockFormat();
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        cursor.setBlockFormat(format);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QTextStream err(stderr);
    if (args.size() != 3) {
        err << "usage: vantoro-mkmanual <manual.md> <manual.pdf>\n";
        return 2;
    }
    QFile source(args.at(1));
    if (!source.open(QIODevice::ReadOnly)) {
        err << "cannot read " << args.at(1) << "\n";
        return 1;
    }
    const QString markdown = QString::fromUtf8(source.readAll());

    const QStringList families = fontFamilies();
    if (families.isEmpty()) {
        // Without one the Chinese half would print as empty boxes.
        err << "no CJK font found (install fonts-wqy-zenhei)\n";
        return 1;
    }

    QPdfWriter writer(args.at(2));
    writer.setTitle(QStringLiteral("Vantoro User Manual"));
    writer.setCreator(QStringLiteral("Vantoro"));
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                                     QPageLayout::Millimeter));

    QTextDocument document;
    QFont font;
    font.setFamilies(families);
    font.setPointSizeF(10.5);
    document.setDefaultFont(font);
    document.setDefaultStyleSheet(QStringLiteral("table { border-collapse: collapse; } td, th { padding: 4px; }"));
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    breakBeforeTopHeadings(document);
    // Left unpaginated, print() lays the text out on the writer's pages with
    // margins of 2 cm.
    document.print(&writer);
    return 0;
}
