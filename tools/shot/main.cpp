// Saves a picture of the whole screen after a delay; used to show the program under Xvfb.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    int delay = 0;
    if (args.size() == 3 && args[0] == QStringLiteral("--delay")) {
        delay = args[1].toInt();
        args = args.mid(2);
    }
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: kestrava-shot [--delay MILLISECONDS] FILE.png\n");
        return 2;
    }
    const QString file = args.first();
    int result = 1;
    QTimer::singleShot(delay, &app, [&] {
        const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(0);
        result = picture.save(file, "PNG") ? 0 : 1;
        if (result != 0)
            std::fprintf(stderr, "could not save %s\n", qPrintable(file));
        app.quit();
    });
    app.exec();
    return result;
}
