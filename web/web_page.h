// The status page and its script and style, built into the program: the page
// gets its texts from the language files when it is served.
#pragma once

#include <QByteArray>
#include <QString>

namespace vantoro {

// The page with every {{key}} replaced by the [webPage] text of `language`,
// HTML-escaped; a key the language file lacks reads as itself.
QByteArray statusPageHtml(int language);
// A file of the page's resources ("page.js", "page.css"); empty when none.
QByteArray pageResource(const QString &name);

} // namespace vantoro
