#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace
{

struct Options {
    Options()
    {
        parser.setApplicationDescription(
            u"Watches a POP3 mailbox from the system tray and tells when new mail arrives.\n"
            u"One copy runs per settings folder: a second start shows the running one's window.\n"
            u"Qt's own options (-platform, -display, -style, ...) are taken as well."_s);
        parser.addOption(help);
        parser.addOption(version);
        parser.addOption(check);
    }
    QCommandLineParser parser;
    QCommandLineOption help{{u"h"_s, u"help"_s}, u"Shows this help and ends."_s};
    QCommandLineOption version{{u"v"_s, u"version"_s}, u"Shows the version and ends."_s};
    QCommandLineOption check{
        u"check"_s,
        u"Checks the mailbox once, without a window and beside a running copy, and ends: prints "
        u"the number of messages, their size and one line per new message (sender: subject) on "
        u"standard output. Exit status 0 when there is new mail, 1 when there is none, 2 when the "
        u"check failed, with the reason on standard error. It saves nothing: the running copy "
        u"still announces the mail. Needs the password remembered in the settings."_s};
};

QStringList argumentList(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments += QString::fromLocal8Bit(argv[i]);
    return arguments;
}

void print(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

namespace CommandLine
{

std::optional<int> answerInformationOptions(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(u"larkspur"_s);
    QCoreApplication::setApplicationVersion(QString::fromLatin1(LARKSPUR_VERSION_STRING));
    Options options;
    // Mistakes are told later, once Qt has taken its own options out.
    options.parser.parse(argumentList(argc, argv));
    if (options.parser.isSet(options.help)) {
        // The usage line names the program as it was called, which takes an application object.
        int count = argc;
        const QCoreApplication core(count, argv);
        print(stdout, options.parser.helpText());
        return 0;
    }
    if (options.parser.isSet(options.version)) {
        print(stdout, QCoreApplication::applicationName() + u' ' +
                          QCoreApplication::applicationVersion() + u'\n');
        return 0;
    }
    return std::nullopt;
}

bool asksForCheck(int argc, char *argv[])
{
    Options options;
    options.parser.parse(argumentList(argc, argv));
    return options.parser.isSet(options.check);
}

std::optional<int> refuseUnknownArguments(int exitCode)
{
    Options options;
    QString mistake;
    if (!options.parser.parse(QCoreApplication::arguments()))
        mistake = options.parser.errorText();
    else if (!options.parser.positionalArguments().isEmpty())
        mistake = u"unexpected argument '%1'"_s.arg(options.parser.positionalArguments().first());
    if (mistake.isEmpty())
        return std::nullopt;
    print(stderr, QCoreApplication::applicationName() + u": "_s + mistake + u"\nTry '"_s +
                      QCoreApplication::applicationName() + u" --help' for more information.\n"_s);
    return exitCode;
}

} // namespace CommandLine
