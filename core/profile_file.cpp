// Profile-file reader and writer (INI and language files).
#include "core/profile_file.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>
#include <algorithm>

#ifdef Q_OS_LINUX
#include <sys/stat.h>
#endif

namespace vantoro {

namespace {

const QByteArray utf8Bom("\xEF\xBB\xBF");

bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

QString trimBlanks(const QString &s)
{
    int b = 0, e = s.size();
    while (b < e && (isBlank(s[b]) || s[b] == QLatin1Char('\r'))) ++b;
    while (e > b && (isBlank(s[e - 1]) || s[e - 1] == QLatin1Char('\r'))) --e;
    return s.mid(b, e - b);
}

// The section name of a "[name]" line, or a null string for other lines.
QString sectionOf(const QString &line)
{
    const QString t = trimBlanks(line);
    if (!t.startsWith(QLatin1Char('[')))
        return {};
    const int close = t.indexOf(QLatin1Char(']'));
    return trimBlanks(t.mid(1, close < 0 ? -1 : close - 1));
}

// Cuts a value to what fits the profile buffer: at most 1023 bytes of the
// file's own encoding, never splitting a character.
QString limitToBuffer(const QString &value, bool utf8)
{
    QStringEncoder encoder(utf8 ? "UTF-8" : "GBK");
    QString out;
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const qsizetype width = (value[i].isHighSurrogate() && i + 1 < value.size()) ? 2 : 1;
        const QString ch = value.mid(i, width);
        const qsizetype n = QByteArray(encoder(ch)).size();
        if (bytes + n > INI_VALUE_BUFFER - 1)
            break;
        bytes += n;
        out += ch;
        i += width - 1;
    }
    return out;
}

// The files read last, each as an index of its values with the bytes it
// came from, so an unchanged file is not decoded, scanned and cut again (the
// poll looks up several language texts a cycle). An edit must be seen at
// once: a file whose size and times are as they were when it was read, and
// which was already older then than a file time's coarsest step, is taken
// as unchanged; any other is read and its bytes compared, which also finds
// an edit in place within the same tick of the clock.
struct FileStamp
{
    bool exists = false;
    qint64 size = -1;
    qint64 modifiedMs = 0;
    qint64 changedMs = 0;
    bool operator==(const FileStamp &) const = default;
};

// One stat call; QFileInfo's times would each be turned into local time.
FileStamp stampOf(const QString &file)
{
    FileStamp stamp;
#ifdef Q_OS_LINUX
    struct stat st;
    if (::stat(QFile::encodeName(file).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return stamp;
    stamp.size = qint64(st.st_size);
    stamp.modifiedMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    stamp.changedMs = qint64(st.st_ctim.tv_sec) * 1000 + st.st_ctim.tv_nsec / 1000000;
#else
    const QFileInfo info(file);
    if (!info.isFile())
        return stamp;
    stamp.size = info.size();
    stamp.modifiedMs = info.lastModified().toMSecsSinceEpoch();
    stamp.changedMs = info.metadataChangeTime().toMSecsSinceEpoch();
#endif
    stamp.exists = true;
    return stamp;
}

struct ProfileIndex
{
    QByteArray bytes;
    FileStamp stamp;
    bool settled = false;   // older than FILE_TIME_STEP_MS when read
    // Case-folded section, then case-folded key: the value as returned.
    QHash<QString, QHash<QString, QString>> values;
};
// FAT's two seconds, the coarsest of the file systems in use.
constexpr qint64 FILE_TIME_STEP_MS = 2000;
constexpr int DECODED_PROFILES_KEPT = 8;

QHash<QString, ProfileIndex> &decodedProfiles()
{
    static QHash<QString, ProfileIndex> profiles;
    return profiles;
}

QString stripQuotes(const QString &v)
{
    if (v.size() >= 2 && ((v.startsWith(QLatin1Char('"')) && v.endsWith(QLatin1Char('"')))
                          || (v.startsWith(QLatin1Char('\'')) && v.endsWith(QLatin1Char('\'')))))
        return v.mid(1, v.size() - 2);
    return v;
}

} // namespace

QString decodeProfileText(const QByteArray &bytes)
{
    if (bytes.startsWith(utf8Bom))
        return QString::fromUtf8(bytes.mid(utf8Bom.size()));
    QStringDecoder decoder("GBK");
    if (!decoder.isValid())
        return QString::fromLocal8Bit(bytes);
    return decoder(bytes);
}

namespace {

QString valueInLines(const QStringList &lines, const QString &section, const QString &key, bool *found)
{
    if (found)
        *found = false;
    bool inSection = false;
    for (const QString &line : lines) {
        const QString name = sectionOf(line);
        if (!name.isNull()) {
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        if (trimBlanks(line.left(eq)).compare(key, Qt::CaseInsensitive) != 0)
            continue;
        if (found)
            *found = true;
        QString value = line.mid(eq + 1);
        const int nul = value.indexOf(QChar(0));
        if (nul >= 0)
            value.truncate(nul);
        return stripQuotes(trimBlanks(value));
    }
    return {};
}

} // namespace

QString profileValue(const QString &text, const QString &section, const QString &key, bool *found)
{
    return valueInLines(text.split(QLatin1Char('\n')), section, key, found);
}

namespace {

// The values of every section, the first of a key winning as a scan of the
// lines finds it.
QHash<QString, QHash<QString, QString>> indexProfile(const QByteArray &bytes)
{
    const bool utf8 = bytes.startsWith(utf8Bom);
    QHash<QString, QHash<QString, QString>> values;
    QHash<QString, QString> *section = nullptr;
    for (const QString &line : decodeProfileText(bytes).split(QLatin1Char('\n'))) {
        const QString name = sectionOf(line);
        if (!name.isNull()) {
            section = &values[name.toCaseFolded()];
            continue;
        }
        if (!section)
            continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = trimBlanks(line.left(eq)).toCaseFolded();
        if (section->contains(key))
            continue;
        QString value = line.mid(eq + 1);
        const int nul = value.indexOf(QChar(0));
        if (nul >= 0)
            value.truncate(nul);
        section->insert(key, trimBlanks(limitToBuffer(stripQuotes(trimBlanks(value)), utf8)));
    }
    return values;
}

const ProfileIndex *profileIndex(const QString &file)
{
    const FileStamp stamp = stampOf(file);
    if (!stamp.exists)
        return nullptr;
    QHash<QString, ProfileIndex> &profiles = decodedProfiles();
    auto found = profiles.find(file);
    if (found != profiles.end() && found->settled && found->stamp == stamp)
        return &*found;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray bytes = f.readAll();
    const bool settled =
        QDateTime::currentMSecsSinceEpoch() - std::max(stamp.modifiedMs, stamp.changedMs) > FILE_TIME_STEP_MS;
    if (found != profiles.end() && found->bytes == bytes) {
        found->stamp = stamp;
        found->settled = settled;
        return &*found;
    }
    if (found == profiles.end() && profiles.size() >= DECODED_PROFILES_KEPT)
        profiles.clear();
    return &*profiles.insert(file, {bytes, stamp, settled, indexProfile(bytes)});
}

} // namespace

std::optional<QString> readIniIfReadable(const QString &section, const QString &key, const QString &defaultValue,
                                         const QString &file)
{
    // Services look texts up on threads of their own too.
    static QMutex indexLock;
    const QMutexLocker locked(&indexLock);
    const ProfileIndex *index = profileIndex(file);
    if (!index)
        return std::nullopt;
    if (section.isEmpty() || key.isEmpty())
        return trimBlanks(defaultValue);
    const auto values = index->values.constFind(section.toCaseFolded());
    if (values == index->values.cend())
        return trimBlanks(defaultValue);
    const auto value = values->constFind(key.toCaseFolded());
    return value == values->cend() ? trimBlanks(defaultValue) : *value;
}

QString readIni(const QString &section, const QString &key, const QString &defaultValue, const QString &file)
{
    if (section.isEmpty() || key.isEmpty())
        return trimBlanks(defaultValue);
    return readIniIfReadable(section, key, defaultValue, file).value_or(trimBlanks(defaultValue));
}

bool writeIni(const QString &section, const QString &key, const QString &value, const QString &file)
{
    QByteArray bytes;
    {
        QFile f(file);
        if (f.exists() && f.open(QIODevice::ReadOnly))
            bytes = f.readAll();
        else if (f.exists())
            return false;
    }
    const bool utf8 = bytes.startsWith(utf8Bom);
    QStringList lines = decodeProfileText(bytes).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }

    const QString entry = key + QLatin1Char('=') + value;
    int sectionLine = -1;
    int insertAt = -1;
    bool written = false;
    for (int i = 0; i < lines.size() && !written; ++i) {
        const QString name = sectionOf(lines[i]);
        if (!name.isNull()) {
            if (sectionLine >= 0)
                break;
            if (name.compare(section, Qt::CaseInsensitive) == 0) {
                sectionLine = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (sectionLine < 0)
            continue;
        if (!trimBlanks(lines[i]).isEmpty())
            insertAt = i + 1;
        const int eq = lines[i].indexOf(QLatin1Char('='));
        if (eq >= 0 && trimBlanks(lines[i].left(eq)).compare(key, Qt::CaseInsensitive) == 0) {
            lines[i] = entry;
            written = true;
        }
    }
    if (!written) {
        if (sectionLine < 0) {
            lines << QLatin1Char('[') + section + QLatin1Char(']') << entry;
        } else {
            lines.insert(insertAt, entry);
        }
    }

    QString text = lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n");
    QByteArray out;
    if (utf8) {
        out = utf8Bom + text.toUtf8();
    } else {
        QStringEncoder encoder("GBK");
        out = encoder.isValid() ? QByteArray(encoder(text)) : text.toLocal8Bit();
    }
    // The whole file is replaced in one step, so a failure leaves the old one.
    QSaveFile save(file);
    if (!save.open(QIODevice::WriteOnly))
        return false;
    save.write(out);
    return save.commit();
}

} // namespace vantoro
