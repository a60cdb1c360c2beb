// A test-only program for the record tests, which need a second process:
//
//   kestrava-recorddriver run FOLDER PORT
//       The real main window working in FOLDER on port PORT (KESTRAVA_PORT_DIR chooses the
//       ports), pressing its own buttons: once the readings are in, Start on station 1; once
//       its leak test has passed, Start again for the main test, which lasts an hour. It
//       prints "leak started", "main started", and after each display tick of the running
//       test "tick N", N being the seconds sampled so far (each written by that tick).
//   kestrava-recorddriver lock DATABASE
//       Holds the database locked (BEGIN EXCLUSIVE), prints "locked", and releases it at the
//       first line or the end of standard input, printing "released".
#include "app/config.h"
#include "app/sharedstate.h"
#include "support/widgets.h"
#include "ui/main/mainwindow.h"

#include <QApplication>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

void say(const char *line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

int run(const QString &folder, int port)
{
    SharedState state;
    state.AppPath = folder;
    applyConfigDefaults(state);
    state.CommPort = int16_t(port);
    state.parameters.LeakTestDuration = 1;
    state.parameters.MainTestDuration = 3600;
    MainWindow window(state);
    window.show();
    if (!state.PortReady) {
        say("no port");
        return 1;
    }
    QPushButton *start = named<QPushButton>(&window, "cmdTestStart", 0);
    const StationRecord &station = state.stations[0];
    enum class Step { WaitingForReadings, Leak, Main } step = Step::WaitingForReadings;
    int ticks = 0;

    QTimer script;
    script.setInterval(20);
    QObject::connect(&script, &QTimer::timeout, [&] {
        if (step == Step::WaitingForReadings && state.readings.Pressure1Valid &&
            state.readings.BathTempValid) {
            start->click();
            step = Step::Leak;
            say("leak started");
        } else if (step == Step::Leak && station.LeakTestPassed) {
            start->click();
            step = Step::Main;
            say("main started");
        }
    });
    script.start();
    // Connected after the window's own handler, so each line comes after the tick's write.
    QObject::connect(named<QTimer>(&window, "tmrDisplay"), &QTimer::timeout, [&] {
        if (step == Step::WaitingForReadings || !station.TestRunning)
            return;
        std::printf("tick %d\n", ++ticks);
        std::fflush(stdout);
    });
    return QApplication::exec();
}

int lock(const QString &path)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    QSqlQuery query(db);
    if (!db.open() || !query.exec(QStringLiteral("BEGIN EXCLUSIVE"))) {
        std::printf("error %s\n", qPrintable(db.lastError().text() + query.lastError().text()));
        return 1;
    }
    say("locked");
    std::string line;
    std::getline(std::cin, line);
    if (!query.exec(QStringLiteral("COMMIT")))
        return 1;
    say("released");
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() == 4 && args[1] == u"run")
        return run(args[2], args[3].toInt());
    if (args.size() == 3 && args[1] == u"lock")
        return lock(args[2]);
    std::fprintf(stderr, "usage: %s run FOLDER PORT | lock DATABASE\n", argv[0]);
    return 2;
}
