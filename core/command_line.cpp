// Command-line parsing through QCommandLineParser.
#include "core/command_line.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QTextStream>

namespace vantoro {

namespace {

QString versionText()
{
    return QStringLiteral("Vantoro ") + QStringLiteral(VANTORO_VERSION);
}

// Without an application object the parser cannot name the program.
QString helpFor(const QCommandLineParser &parser, const QStringList &arguments)
{
    QString text = parser.helpText();
    const QString program = arguments.isEmpty() ? QStringLiteral("vantoro") : QFileInfo(arguments.first()).fileName();
    text.replace(QLatin1String("<executable_name>"), program);
    return text;
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Monitoring station for a photovoltaic inverter on a serial line."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and exits."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version and exits."));
    const QCommandLineOption service(QStringLiteral("service"),
                                     QStringLiteral("Runs unattended without a window: polls from the start and logs to "
                                                    "standard error."));
    const QCommandLineOption home(QStringLiteral("home"),
                                  QStringLiteral("Keeps the station's files in <dir> (as VANTORO_HOME does)."),
                                  QStringLiteral("dir"));
    parser.addOptions({help, version, service, home});

    CommandLine line;
    const bool parsed = parser.parse(arguments);
    if (!parsed || !parser.positionalArguments().isEmpty()) {
        line.action = CommandLine::Action::Error;
        const QString reason = parsed ? QStringLiteral("Unexpected argument: ") + parser.positionalArguments().first()
                                      : parser.errorText();
        line.text = reason + QLatin1Char('\n') + helpFor(parser, arguments);
        return line;
    }
    if (parser.isSet(help)) {
        line.action = CommandLine::Action::Help;
        line.text = helpFor(parser, arguments);
        return line;
    }
    if (parser.isSet(version)) {
        line.action = CommandLine::Action::Version;
        line.text = versionText() + QLatin1Char('\n');
        return line;
    }
    line.service = parser.isSet(service);
    line.home = parser.value(home);
    return line;
}

int finishCommandLine(const CommandLine &line)
{
    if (line.action == CommandLine::Action::Error) {
        QTextStream(stderr) << line.text;
        return USAGE_EXIT_CODE;
    }
    QTextStream(stdout) << line.text;
    return 0;
}

} // namespace vantoro
