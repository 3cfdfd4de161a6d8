// Fuzz target of the profile-file reader (INI and language files, GBK or
// UTF-8 after a byte-order mark): the look-up in decoded text, the file
// reader with its 1023-byte limit, the language look-up, and a write that
// must read back.
#include "fuzz_support.h"

#include "core/localisation.h"
#include "core/profile_file.h"
#include "core/system_settings.h"

#include <QStringEncoder>
#include <utility>
#include <vector>

using namespace vantoro;
using vantoro::fuzz::check;

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r');
}

QString trimBlanks(const QString &s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

qsizetype encodedSize(const QString &text, bool utf8)
{
    QStringEncoder encoder(utf8 ? "UTF-8" : "GBK");
    return QByteArray(encoder(text)).size();
}

// The names the station looks up, and the first section and key of the text.
std::vector<std::pair<QString, QString>> lookups(const QString &text)
{
    std::vector<std::pair<QString, QString>> out = {
        {QStringLiteral("Settings"), QStringLiteral("Language")},
        {QStringLiteral("Application"), QStringLiteral("Connecting")},
        {QStringLiteral("frmMain"), QStringLiteral("msgConnTimeOut")},
    };
    QString section;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString t = trimBlanks(line);
        if (t.startsWith(QLatin1Char('['))) {
            if (!section.isNull())
                break;
            const qsizetype close = t.indexOf(QLatin1Char(']'));
            section = trimBlanks(t.mid(1, close < 0 ? -1 : close - 1));
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!section.isNull() && eq > 0) {
            out.emplace_back(section, trimBlanks(line.left(eq)));
            break;
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    vantoro::fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const bool utf8 = bytes.startsWith("\xEF\xBB\xBF");
    const QString text = decodeProfileText(bytes);
    const QString dir = vantoro::fuzz::scratchDir();
    const QString file = dir + QStringLiteral("/fuzz.ini");
    check(vantoro::fuzz::writeFile(file, bytes), "scratch file not written");

    const QString missing = QStringLiteral("<missing>");
    for (const auto &[section, key] : lookups(text)) {
        bool found = false;
        const QString inText = profileValue(text, section, key, &found);
        const QString fromFile = readIni(section, key, missing, file);
        if (section.isEmpty() || key.isEmpty() || !found) {
            check(fromFile == missing, "a missing key did not give the default");
            continue;
        }
        check(encodedSize(fromFile, utf8) <= INI_VALUE_BUFFER - 1, "a value longer than 1023 bytes");
        if (encodedSize(inText, utf8) <= INI_VALUE_BUFFER - 1)
            check(fromFile == trimBlanks(inText), "the file reader and the text look-up differ");
    }

    // The same bytes as the English language file.
    check(vantoro::fuzz::writeFile(dir + QStringLiteral("/langen.ini"), bytes), "language file not written");
    sysSettings.languageIndex = LANGUAGE_ENGLISH;
    for (const auto &[section, key] : lookups(text))
        langText(section, key, LANGUAGE_CURRENT, key);

    // A value written into the file reads back as written.
    const QString value = QStringLiteral("fuzz value 1");
    if (writeIni(QStringLiteral("FuzzSection"), QStringLiteral("FuzzKey"), value, file))
        check(readIni(QStringLiteral("FuzzSection"), QStringLiteral("FuzzKey"), missing, file) == value,
              "a written value does not read back");
    return 0;
}
