// Turns the Markdown user manual into manual.pdf with Qt's own text layout.
// Usage: vantoro-mkmanual <manual.md> <manual.pdf>
#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QImage>
#include <QRegularExpression>
#include <QScreen>
#include <QTextFrame>
#include <QUrl>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextStream>
#include <cmath>

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

// A4 with margins of 2 cm, in the document's pixels (set from the screen's
// resolution in main); the document is laid out on these pages itself, so
// the contents can name the page of each section.
qreal pageWidth = 595.0;
qreal pageHeight = 842.0;
qreal pageMargin = 56.7;
// A heading this close to the foot of a page starts the next one instead.
qreal headingKeep = 80.0;

// Each language's part gets its contents after its first paragraph: the
// part's sections, with their pages once they are known.
QString withContents(const QString &markdown, const QList<int> &pages)
{
    const QStringList lines = markdown.split(QLatin1Char('\n'));
    QStringList out;
    int section = 0;
    bool partOpen = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (line.startsWith(QLatin1String("# "))) {
            partOpen = true;
            out << line;
            continue;
        }
        if (partOpen && line.startsWith(QLatin1String("## "))) {
            partOpen = false;
            const bool chinese = out.join(QLatin1Char('\n')).section(QStringLiteral("\n# "), -1)
                                     .contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]")));
            out << (chinese ? QStringLiteral("**目录**") : QStringLiteral("**Contents**")) << QString();
            int n = section;
            for (int j = i; j < lines.size() && !lines[j].startsWith(QLatin1String("# ")); ++j) {
                if (!lines[j].startsWith(QLatin1String("## ")))
                    continue;
                const QString page = n < pages.size() ? QString::number(pages[n]) : QStringLiteral("…");
                out << QStringLiteral("- ") + lines[j].mid(3) + QStringLiteral(" · ") + page;
                ++n;
            }
            out << QString();
        }
        if (line.startsWith(QLatin1String("## ")))
            ++section;
        out << line;
    }
    return out.join(QLatin1Char('\n'));
}

void fitImages(QTextDocument &document, const QString &folder)
{
    const qreal width = pageWidth - 2 * pageMargin;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat image = fragment.charFormat().toImageFormat();
            const QImage picture(folder + QLatin1Char('/') + image.name());
            if (picture.isNull())
                continue;
            document.addResource(QTextDocument::ImageResource, QUrl(image.name()), picture);
            const qreal shown = qMin(width * 0.85, qreal(picture.width()));
            image.setWidth(shown);
            image.setHeight(shown * picture.height() / picture.width());
            QTextCursor cursor(&document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(image);
        }
    }
}

qreal pageOf(const QTextDocument &document, const QTextBlock &block)
{
    return document.documentLayout()->blockBoundingRect(block).top() / pageHeight;
}

// Moves a heading left at the foot of a page to the next one; true when one
// moved (the pages after it shift, so the caller lays out again).
bool keepHeadingsWithText(QTextDocument &document)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() < 2
            || block.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)
            continue;
        const qreal top = document.documentLayout()->blockBoundingRect(block).top();
        const qreal onPage = top - std::floor(top / pageHeight) * pageHeight;
        if (onPage > pageHeight - pageMargin - headingKeep) {
            QTextCursor cursor(block);
            QTextBlockFormat format = block.blockFormat();
            format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            cursor.setBlockFormat(format);
            return true;
        }
    }
    return false;
}

// The pages (from 1) of the level-2 headings, in order.
QList<int> sectionPages(const QTextDocument &document)
{
    QList<int> pages;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 2)
            pages << int(pageOf(document, block)) + 1;
    }
    return pages;
}

void layOut(QTextDocument &document, const QString &markdown, const QString &folder)
{
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    QTextFrameFormat frame = document.rootFrame()->frameFormat();
    frame.setMargin(pageMargin);
    document.rootFrame()->setFrameFormat(frame);
    document.setPageSize(QSizeF(pageWidth, pageHeight));
    fitImages(document, folder);
    breakBeforeTopHeadings(document);
    for (int moved = 0; moved < 200 && keepHeadingsWithText(document); ++moved) {
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
    // The contents name pages; the pages move with the contents' own
    // length only once, so a second pass settles them.
    const QString folder = QFileInfo(args.at(1)).absolutePath();
    const qreal pixelsPerPoint = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->logicalDotsPerInch() / 72.0 : 96.0 / 72.0;
    pageWidth *= pixelsPerPoint;
    pageHeight *= pixelsPerPoint;
    pageMargin *= pixelsPerPoint;
    headingKeep *= pixelsPerPoint;
    QList<int> pages;
    for (int pass = 0; pass < 3; ++pass) {
        layOut(document, withContents(markdown, pages), folder);
        const QList<int> found = sectionPages(document);
        if (found == pages)
            break;
        pages = found;
    }
    document.print(&writer);
    return 0;
}
