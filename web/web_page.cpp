// Filling the page's texts in from the language files.
#include "web/web_page.h"

#include "core/localisation.h"

#include <QFile>
#include <QRegularExpression>

namespace vantoro {

namespace {

QByteArray readResource(const QString &name)
{
    QFile file(QStringLiteral(":/web/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

} // namespace

QByteArray statusPageHtml(int language)
{
    const QString page = QString::fromUtf8(readResource(QStringLiteral("status.html")));
    static const QRegularExpression placeholder(QStringLiteral("\\{\\{([A-Za-z0-9_]+)\\}\\}"));
    QString out;
    out.reserve(page.size() + 1024);
    qsizetype last = 0;
    for (const QRegularExpressionMatch &m : placeholder.globalMatch(page)) {
        out += QStringView(page).sliced(last, m.capturedStart() - last);
        const QString key = m.captured(1);
        out += langText(QStringLiteral("webPage"), key, language, key).toHtmlEscaped();
        last = m.capturedEnd();
    }
    out += QStringView(page).sliced(last);
    return out.toUtf8();
}

QByteArray pageResource(const QString &name)
{
    return readResource(name);
}

} // namespace vantoro
