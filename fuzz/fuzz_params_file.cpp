// Fuzz target of the "PARAMS.INI" reader: lines decoded and split, parameter
// rows recognised and cut at their commas, the file text rebuilt from them,
// and a rewrite through "PARAMS.TMP" that reads back the same rows.
#include "fuzz_support.h"

#include "core/params_file.h"

#include <QStringDecoder>
#include <QStringEncoder>

using namespace vantoro;
using vantoro::fuzz::check;

namespace {

// True when the rows survive the file's encoding unchanged (GBK has no
// place for every character a damaged file decodes to).
bool encodingKeeps(const QStringList &lines, bool utf8)
{
    if (utf8)
        return true;
    const QString text = lines.join(QLatin1Char('\n'));
    QStringEncoder encoder("GBK");
    const QByteArray encoded = encoder(text);
    QStringDecoder decoder("GBK");
    return QString(decoder(encoded)) == text;
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
    const QString dir = vantoro::fuzz::scratchDir();
    const QString path = dir + QStringLiteral("/PARAMS.INI");
    check(vantoro::fuzz::writeFile(path, bytes), "scratch file not written");

    QStringList lines;
    check(readParamsLines(path, &lines), "a readable file was not read");
    const ParamsRows rows = parseParamsRows(lines);
    check(rows == loadParamsRows(path), "loadParamsRows differs from reading and parsing");
    for (const QString &line : lines)
        check(!line.contains(QLatin1Char('\n')) && !line.contains(QLatin1Char('\r')), "a line break inside a line");

    int rowLines = 0;
    for (const QString &line : lines)
        rowLines += isParamsRowLine(line) ? 1 : 0;
    check(rowLines == rows.size(), "rows and row lines differ in number");
    for (int i = 0; i < rows.size(); ++i) {
        const ParamsRow &row = rows[i];
        check(!row.isEmpty() && isParamsRowLine(row.join(QLatin1Char(','))), "a row that is no row line");
        const int found = findParamsRow(rows, rowField(row, PF_NAME));
        check(found >= 0 && found <= i, "a row not found by its own name");
        rowInUse(row);
        rowWatched(row);
        rowBoundsEditable(row);
        ParamsRow edited = row;
        setRowField(edited, PF_WARNING, QStringLiteral("1"));
        check(rowField(edited, PF_WARNING) == QLatin1String("1") && edited.size() >= PF_WARNING + 1,
              "a field set is not there");
    }

    // Rebuilt text holds the same rows; the saved file reads back the same.
    const QStringList rebuilt = paramsFileLines(lines, rows);
    check(parseParamsRows(rebuilt) == rows, "rebuilt text holds other rows");
    QString error;
    check(saveParamsFile(dir, rows, &error), "the rewrite failed");
    if (encodingKeeps(rebuilt, bytes.startsWith("\xEF\xBB\xBF")))
        check(loadParamsRows(path) == rows, "the rewritten file reads back other rows");
    return 0;
}
