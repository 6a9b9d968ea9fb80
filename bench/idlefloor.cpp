// The least a Qt tray program of this kind costs when idle: QApplication, one tray icon and a
// one-second timer whose handler does nothing. scripts/bench measures it beside Larkspur, so that
// what Qt and the desktop cost is told apart from what the program adds.
#include <QApplication>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap picture(16, 16);
    picture.fill(Qt::darkBlue);
    QSystemTrayIcon icon{QIcon(picture)};
    icon.show();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [] {});
    tick.start(1000);
    return QApplication::exec();
}
