// The faces the hidden main window loads: its own Thai face only, not the desktop's default, which
// the window never draws with. A program of its own, so that nothing else in it has loaded a face.
#include "AppFakes.h"
#include "FakeSocket.h"
#include "app/FrmMain.h"
#include "app/ThaiFonts.h"

#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLineEdit>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace
{
// The font files mapped into this process now.
QSet<QByteArray> mappedFaces()
{
    QSet<QByteArray> faces;
    QFile maps(u"/proc/self/maps"_s);
    if (!maps.open(QIODevice::ReadOnly))
        return faces;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        const QByteArray file = line.mid(line.indexOf('/'));
        for (const char *kind : {".ttf", ".otf", ".ttc", ".pfb", ".pcf", ".pcf.gz"})
            if (line.contains('/') && file.endsWith(kind))
                faces.insert(file);
    }
    return faces;
}
} // namespace

class TestWindowFaces : public QObject
{
    Q_OBJECT

    QTemporaryDir folder;
    RecordingPrompt prompt;
    RecordingUrlOpener urlOpener;
    RecordingSoundOutput sound;
    RecordingAutostart autostart;
    FixedClock clock;
    FakeSocket socket;
    std::unique_ptr<FrmMain> form;
    QSet<QByteArray> windowFaces;

private slots:
    void initTestCase()
    {
        ThaiFonts::installSubstitutions();
        QVERIFY(mappedFaces().isEmpty());
        // The window's face, at both of its sizes, loaded on purpose.
        for (qreal size : {8.25, 9.75})
            QFontMetrics(ThaiFonts::msSansSerif(size)).horizontalAdvance(u"เช็คอีเมลล์ Options"_s);
        windowFaces = mappedFaces();
        QVERIFY(!windowFaces.isEmpty());
    }

    void onlyTheWindowsFace_data()
    {
        QTest::addColumn<int>("step");
        QTest::newRow("window built") << 0;
        QTest::newRow("report and log written while hidden") << 1;
    }

    void onlyTheWindowsFace()
    {
        QFETCH(int, step);
        if (step == 0) {
            FrmMainServices services;
            services.prompt = &prompt;
            services.urlOpener = &urlOpener;
            services.soundOutput = &sound;
            services.autostart = &autostart;
            services.clock = &clock;
            services.socket = &socket;
            services.executablePath = folder.filePath(u"larkspur"_s);
            services.executableFolder = folder.path();
            services.stateFolder = folder.path() + QStringLiteral("/state");
            services.useTray = false;
            form = std::make_unique<FrmMain>(services);
        } else {
            form->txtMailSize->setText(u"อีเมลล์ทั้งหมดมีขนาด 5120000 กิโลไบต์"_s);
            form->tellUser(u"รับข้อมูลเรียบร้อย (ออกจากระบบ)"_s);
        }
        QVERIFY(form->isHidden());
        QCOMPARE(mappedFaces(), windowFaces);
    }

    // What the window leaves alone is still the desktop's: its tool tips and message boxes.
    void theDesktopsFaceStaysTheApplications()
    {
        QVERIFY(!ThaiFonts::families().contains(QApplication::font().family()));
        // Also shows that a face loaded is seen here.
        const QString drawnWith = QFontInfo(QApplication::font()).family();
        if (drawnWith == QFontInfo(ThaiFonts::msSansSerif(8.25)).family())
            QSKIP("the desktop's default face is the window's own here");
        QVERIFY2(mappedFaces() != windowFaces, qPrintable(drawnWith + u" is not seen mapped"_s));
    }
};

QTEST_MAIN(TestWindowFaces)
#include "tst_windowfaces.moc"
