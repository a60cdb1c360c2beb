// kestrava-sim: the simulated leak-test instrument behind a pseudo-terminal.

#include "command.h"
#include "commandqueue.h"
#include "instrument.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char kDescription[] = R"(Simulated instrument of the Kestrava leak-test rig.

Creates a pseudo-terminal in raw mode and makes LINK a symbolic link to it (point
KESTRAVA_PORT_DIR at the link's folder and name the link COM<n> to reach it as port n).
Every poll "?Z" CR is answered with one 21-character frame: the raw temperature, raw
pressure 1 and raw pressure 2 as six-character fields padded with zeros (000250,
-00001), separated by blanks and ended by CR. Anything else received is ignored.
Prints "ready <link path>" once the link exists. Ends on "quit", SIGTERM, SIGINT or
SIGHUP and then removes the link. End of standard input does not end it.

With the default calibration, pressure = raw x 1000 / 10000 KPa and temperature =
raw / 10 degrees C, so the defaults give about 700 KPa in both vessels and a 105
degree bath.

Commands, one per line, from standard input (each answered with one line on standard
output: "ok", "ok ..." for status, or "error <reason>") and from the scenario file
(run from the top at start; answers are not printed, errors go to standard error).
Blank lines and lines starting with # are ignored. CHANNEL is temp, p1 or p2.

  set CHANNEL VALUE   set a raw value (whole number, -99999..999999); stops its ramp
  ramp CHANNEL RATE   change a value by RATE counts per second (negative decays,
                      0 stops); it stays within -99999..999999
  vent p1|p2          vent a vessel: stop its ramp and set its raw value to 0
  silent              answer no polls (the instrument goes quiet)
  garbage             answer each poll with 20 bytes of noise and CR
  short               answer each poll with the first 13 characters of the frame and CR
  cr                  answer each poll with a lone CR
  delay MS            send each reply MS milliseconds late (0..3600000)
  split N [MS]        write each reply in N pieces (1..21), MS milliseconds apart
                      (0..60000, default 20)
  normal              undo silent, garbage, short, cr, delay and split
  send TEXT           write TEXT now; escapes \r \n \t \\ and \xHH (use \x20 for a
                      trailing blank)
  unplug              close the pseudo-terminal and remove the link, like pulling
                      the adapter: a program holding the port sees it hang up
  replug              open a new pseudo-terminal behind the same link path
  status              answer "ok temp T p1 P p2 P polls N plugged|unplugged" (raw
                      values as sent, polls received so far)
  wait MS             hold back the following commands of the same source for MS
                      milliseconds (0..3600000); answered "ok" when it is over
  quit                answer "ok" and end

A negative field (set p2 -1) or an out-of-range one (set p1 40000) is sent as given.

Example scenario: a leak on vessel 1 that starts after 5 seconds, then a silent
instrument for 3 seconds.
  wait 5000
  ramp p1 -2
  wait 10000
  silent
  wait 3000
  normal)";

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

/// SIGTERM, SIGINT and SIGHUP end the event loop, so the link is removed on the way out.
bool catchEndSignals()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

void printLine(const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool parseRaw(const QString &text, double &value)
{
    bool ok = false;
    const int raw = text.toInt(&ok);
    value = raw;
    return ok && raw >= kLowestRaw && raw <= kHighestRaw;
}

/// Reads the scenario file and checks every line before anything runs.
bool readScenario(const QString &path, QStringList &lines)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "kestrava-sim: %s: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
        return false;
    }
    lines = QString::fromUtf8(file.readAll()).split(u'\n');
    bool good = true;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        Command command;
        if (isBlankOrComment(lines[i]))
            continue;
        if (MaybeFailure failure = parseCommand(lines[i], command)) {
            std::fprintf(stderr, "kestrava-sim: %s:%lld: %s\n", qPrintable(path),
                         static_cast<long long>(i + 1), qPrintable(failure->reason));
            good = false;
        }
    }
    return good;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrava-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.addHelpOption();
    const QCommandLineOption linkOption(QStringLiteral("link"),
                                        QStringLiteral("Path of the symbolic link (default COM1)."),
                                        QStringLiteral("path"), QStringLiteral("COM1"));
    const QCommandLineOption tempOption(QStringLiteral("temp"),
                                        QStringLiteral("Raw temperature (default 1050)."),
                                        QStringLiteral("raw"), QStringLiteral("1050"));
    const QCommandLineOption p1Option(QStringLiteral("p1"),
                                      QStringLiteral("Raw pressure 1 (default 7000)."),
                                      QStringLiteral("raw"), QStringLiteral("7000"));
    const QCommandLineOption p2Option(QStringLiteral("p2"),
                                      QStringLiteral("Raw pressure 2 (default 7000)."),
                                      QStringLiteral("raw"), QStringLiteral("7000"));
    const QCommandLineOption scenarioOption(QStringLiteral("scenario"),
                                            QStringLiteral("Commands to run from the start."),
                                            QStringLiteral("file"));
    parser.addOptions({linkOption, tempOption, p1Option, p2Option, scenarioOption});
    parser.process(app);

    std::array<double, 3> values{};
    const std::array<const QCommandLineOption *, 3> valueOptions = {&tempOption, &p1Option,
                                                                    &p2Option};
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!parseRaw(parser.value(*valueOptions[i]), values[i])) {
            std::fprintf(stderr, "kestrava-sim: --%s needs a whole number in -99999..999999\n",
                         qPrintable(valueOptions[i]->names().constFirst()));
            return 2;
        }
    }
    QStringList scenario;
    if (parser.isSet(scenarioOption) && !readScenario(parser.value(scenarioOption), scenario))
        return 2;
    if (!catchEndSignals()) {
        std::perror("kestrava-sim: pipe");
        return 1;
    }

    Instrument instrument(QFileInfo(parser.value(linkOption)).absoluteFilePath(), values);
    if (!instrument.plug()) {
        std::fprintf(stderr, "kestrava-sim: %s\n", qPrintable(instrument.errorString()));
        return 1;
    }

    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    CommandQueue input(instrument, printLine);
    CommandQueue script(instrument, [](const QString &answer) {
        if (answer.startsWith(QStringLiteral("error")))
            std::fprintf(stderr, "kestrava-sim: scenario: %s\n", qPrintable(answer));
    });
    for (CommandQueue *queue : {&input, &script})
        QObject::connect(queue, &CommandQueue::quitRequested, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);

    QByteArray pending;
    QSocketNotifier stdinNotifier(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&stdinNotifier, &QSocketNotifier::activated, &app, [&] {
        char chunk[1024];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            // End of input (or an error): stop watching so the loop does not spin.
            stdinNotifier.setEnabled(false);
            return;
        }
        pending.append(chunk, n);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            input.append(QString::fromUtf8(pending.left(end)));
            pending.remove(0, end + 1);
        }
    });

    printLine(QStringLiteral("ready ") + instrument.linkPath());
    for (const QString &line : scenario)
        script.append(line);
    return app.exec();
}
