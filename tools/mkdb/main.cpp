// Builds a database file from SQL text files: vantoro-mkdb OUT.db FILE.sql...
// The file is written under a temporary name and renamed when complete, so a
// failed build never leaves a half-filled database behind.
#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTextStream>

namespace {

// Splits SQL text into statements at semicolons outside quotes and comments.
QStringList splitStatements(const QString &sql)
{
    QStringList out;
    QString current;
    bool inQuote = false;
    for (int i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (!inQuote && c == QLatin1Char('-') && i + 1 < sql.size() && sql[i + 1] == QLatin1Char('-')) {
            while (i < sql.size() && sql[i] != QLatin1Char('\n'))
                ++i;
            current += QLatin1Char('\n');
            continue;
        }
        if (c == QLatin1Char('\''))
            inQuote = !inQuote;
        if (c == QLatin1Char(';') && !inQuote) {
            if (!current.trimmed().isEmpty())
                out << current.trimmed();
            current.clear();
            continue;
        }
        current += c;
    }
    if (!current.trimmed().isEmpty())
        out << current.trimmed();
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        err << "usage: vantoro-mkdb OUT.db FILE.sql..." << Qt::endl;
        return 2;
    }
    const QString out = args[1];
    const QString temp = out + QStringLiteral(".tmp");
    QFile::remove(temp);
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("mkdb"));
        db.setDatabaseName(temp);
        if (!db.open()) {
            err << "cannot create " << temp << ": " << db.lastError().text() << Qt::endl;
            return 1;
        }
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
        db.transaction();
        for (int i = 2; i < args.size() && ok; ++i) {
            QFile f(args[i]);
            if (!f.open(QIODevice::ReadOnly)) {
                err << "cannot read " << args[i] << Qt::endl;
                ok = false;
                break;
            }
            const QStringList statements = splitStatements(QString::fromUtf8(f.readAll()));
            for (const QString &s : statements) {
                if (!q.exec(s)) {
                    err << args[i] << ": " << q.lastError().text() << "\n  in: " << s.left(200) << Qt::endl;
                    ok = false;
                    break;
                }
            }
        }
        ok = ok && db.commit();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("mkdb"));
    if (!ok) {
        QFile::remove(temp);
        return 1;
    }
    QFile::remove(out);
    if (!QFile::rename(temp, out)) {
        err << "cannot rename " << temp << " to " << out << Qt::endl;
        return 1;
    }
    return 0;
}
