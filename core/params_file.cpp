// Reading and atomically rewriting "PARAMS.INI".
#include "core/params_file.h"

#include "core/common.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <cmath>
#include <optional>

namespace vantoro {

namespace {

const QByteArray utf8Bom("\xEF\xBB\xBF");

QString firstField(const QString &line)
{
    const qsizetype comma = line.indexOf(QLatin1Char(','));
    return comma < 0 ? line : line.left(comma);
}

bool removeEvenIfReadOnly(const QString &path)
{
    if (!QFile::exists(path))
        return true;
    QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner | QFile::WriteUser);
    return QFile::remove(path);
}

QByteArray encodeLines(const QStringList &lines, bool utf8)
{
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    if (utf8)
        return utf8Bom + text.toUtf8();
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

// Why `rows` cannot be written faithfully; empty when they can.
QString unwritableField(const ParamsRows &rows, bool utf8)
{
    QStringEncoder encoder("GBK");
    for (const ParamsRow &row : rows) {
        for (const QString &field : row) {
            if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r')))
                return QStringLiteral("\"%1\": a field may hold no comma or line break").arg(field);
            if (utf8)
                continue;
            // Encoded and read back: what the file cannot hold comes back
            // changed. A replacement character stands for bytes a damaged
            // file already lost when it was read; it is written as before.
            QString probe = field;
            probe.remove(QChar::ReplacementCharacter);
            const QByteArray bytes = encoder.encode(probe);
            if (QStringDecoder("GBK").decode(bytes) != probe)
                return QStringLiteral("\"%1\": characters the file's encoding (GBK) cannot hold").arg(field);
        }
    }
    return {};
}

std::optional<ParamsRows> &cachedRows()
{
    static std::optional<ParamsRows> rows;
    return rows;
}

} // namespace

bool isParamsRowLine(const QString &line)
{
    const QString field = firstField(line).trimmed();
    if (field.isEmpty())
        return false;
    bool ok = false;
    const double value = QLocale::c().toDouble(field, &ok);
    return ok && std::isfinite(value);
}

QString rowField(const ParamsRow &row, int field)
{
    return field >= 0 && field < row.size() ? row[field] : QString();
}

void setRowField(ParamsRow &row, int field, const QString &value)
{
    if (field < 0)
        return;
    while (row.size() <= field)
        row << QString();
    row[field] = value;
}

bool isBoundText(const QString &text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    return ok && std::isfinite(value);
}

bool rowInUse(const ParamsRow &row)
{
    return leadingNumber(rowField(row, PF_IN_USE)) != 0;
}

bool rowWatched(const ParamsRow &row)
{
    return leadingNumber(rowField(row, PF_WARNING)) != 0;
}

bool rowBoundsEditable(const ParamsRow &row)
{
    return rowField(row, PF_BOUNDS_FIXED) == QLatin1String("0");
}

bool readParamsLines(const QString &path, QStringList *lines, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QByteArray bytes = file.readAll();
    QString text;
    if (bytes.startsWith(utf8Bom)) {
        text = QString::fromUtf8(bytes.mid(utf8Bom.size()));
    } else {
        QStringDecoder decoder("GBK");
        text = decoder.decode(bytes);
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList result = text.split(QLatin1Char('\n'));
    // A final line break does not start another line.
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    if (lines)
        *lines = result;
    return true;
}

ParamsRows parseParamsRows(const QStringList &lines)
{
    ParamsRows rows;
    for (const QString &line : lines) {
        if (isParamsRowLine(line))
            rows << line.split(QLatin1Char(','));
    }
    return rows;
}

QString paramsFilePath()
{
    return findFileNoCase(appDir(), QString::fromLatin1(PARAMS_FILE));
}

ParamsRows loadParamsRows(const QString &path)
{
    QStringList lines;
    if (!readParamsLines(path, &lines))
        return {};
    return parseParamsRows(lines);
}

int findParamsRow(const ParamsRows &rows, const QString &name)
{
    for (int i = 0; i < rows.size(); ++i) {
        if (rowField(rows[i], PF_NAME) == name)
            return i;
    }
    return -1;
}

QStringList paramsFileLines(const QStringList &oldLines, const ParamsRows &rows)
{
    QStringList lines;
    for (const QString &line : oldLines) {
        if (!line.isEmpty() && !isParamsRowLine(line))
            lines << line;
    }
    for (const ParamsRow &row : rows)
        lines << row.join(QLatin1Char(','));
    return lines;
}

bool saveParamsFile(const QString &dir, const ParamsRows &rows, QString *error)
{
    auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    const QString target = findFileNoCase(dir, QString::fromLatin1(PARAMS_FILE));
    const QString temp = findFileNoCase(dir, QString::fromLatin1(PARAMS_TEMP_FILE));

    QStringList oldLines;
    bool utf8 = false;
    if (QFile::exists(target)) {
        QString readError;
        if (!readParamsLines(target, &oldLines, &readError))
            return fail(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(target), readError));
        QFile probe(target);
        utf8 = probe.open(QIODevice::ReadOnly) && probe.read(utf8Bom.size()) == utf8Bom;
    }
    const QString unwritable = unwritableField(rows, utf8);
    if (!unwritable.isEmpty())
        return fail(unwritable);
    const QByteArray bytes = encodeLines(paramsFileLines(oldLines, rows), utf8);

    if (!removeEvenIfReadOnly(temp))
        return fail(QStringLiteral("%1: cannot be deleted").arg(QDir::toNativeSeparators(temp)));
    {
        QFile out(temp);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush())
            return fail(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(temp), out.errorString()));
    }
    // The copy over "PARAMS.INI" is itself written aside and renamed in one
    // step, so a power cut leaves either the old or the new file.
    QSaveFile in(target);
    if (!in.open(QIODevice::WriteOnly) || in.write(bytes) != bytes.size() || !in.commit())
        return fail(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(target), in.errorString()));
    return true;
}

ParamsRows &stationParamsRows()
{
    std::optional<ParamsRows> &rows = cachedRows();
    if (!rows)
        rows = loadParamsRows();
    return *rows;
}

void reloadStationParamsRows()
{
    cachedRows() = loadParamsRows();
}

} // namespace vantoro
