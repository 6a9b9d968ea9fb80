#include "platform/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Outcome = SingleInstance::Outcome;

namespace
{

// The running program, on a thread of its own so that this one can block as a second start does.
// Its show handler is set only when the test says so.
class FirstProgram final : public QThread
{
public:
    FirstProgram(QString settings, QString runtime)
        : m_settings(std::move(settings)), m_runtime(std::move(runtime))
    {
    }
    ~FirstProgram() override
    {
        quit();
        wait();
    }
    Outcome begin()
    {
        start();
        m_ready.acquire();
        return m_outcome;
    }
    void setShowHandler()
    {
        QMetaObject::invokeMethod(m_instance,
                                  [this] { m_instance->setShowHandler([this] { ++shows; }); });
    }
    std::atomic<int> shows{0};

protected:
    void run() override
    {
        SingleInstance instance(m_settings, m_runtime);
        m_instance = &instance;
        m_outcome = instance.start(0ms);
        m_ready.release();
        exec();
    }

private:
    QString m_settings;
    QString m_runtime;
    SingleInstance *m_instance = nullptr;
    Outcome m_outcome = Outcome::Unguarded;
    QSemaphore m_ready;
};

int holdLock(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? fd : -1;
}

} // namespace

class tst_SingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void secondStartMeetsTheFirst_data();
    void secondStartMeetsTheFirst();
    void filesOfACrashedProgramAreTakenOver();
    void holderThatNeverListensGetsNoAnswer();
    void holderThatEndsWhileWaitedForIsSucceeded();
    void unusableRuntimeFolderRunsUnguarded();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_runtime;
    QString m_settings;
};

void tst_SingleInstance::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_runtime = m_dir->filePath(u"runtime"_s);
    m_settings = m_dir->filePath(u"settings"_s);
    QVERIFY(QDir().mkpath(m_runtime));
    QVERIFY(QDir().mkpath(m_settings));
    QVERIFY(QDir().mkpath(m_dir->filePath(u"other"_s)));
    QVERIFY(QFile::link(m_settings, m_dir->filePath(u"link"_s)));
}

void tst_SingleInstance::secondStartMeetsTheFirst_data()
{
    QTest::addColumn<QString>("second"); // the second start's settings folder, in the test folder
    QTest::addColumn<bool>("meets");
    QTest::newRow("same folder") << u"settings"_s << true;
    QTest::newRow("same folder by another path") << u"link/./"_s << true;
    QTest::newRow("another folder, another program") << u"other"_s << false;
}

void tst_SingleInstance::secondStartMeetsTheFirst()
{
    QFETCH(QString, second);
    QFETCH(bool, meets);
    FirstProgram first(m_settings, m_runtime);
    QCOMPARE(first.begin(), Outcome::First);

    // Something that is not one of our programs: dropped, and the next start is still served.
    QLocalSocket stranger;
    stranger.connectToServer(m_runtime + u"/larkspur-"_s + SingleInstance::keyFor(m_settings) +
                             u".socket"_s);
    QVERIFY(stranger.waitForConnected(2000));
    stranger.write(QByteArray(200, 'x'));
    QVERIFY(stranger.waitForDisconnected(5000));

    SingleInstance later(m_dir->path() + u'/' + second, m_runtime);
    if (!meets) {
        QCOMPARE(later.start(0ms), Outcome::First);
        QVERIFY(later.error().isEmpty());
        return;
    }
    // Asked before the window exists: shown once it does.
    QCOMPARE(later.start(5s), Outcome::HandedOver);
    QCOMPARE(first.shows.load(), 0);
    first.setShowHandler();
    QTRY_COMPARE(first.shows.load(), 1);
    SingleInstance third(m_settings, m_runtime);
    QCOMPARE(third.start(5s), Outcome::HandedOver);
    QCOMPARE(first.shows.load(), 2);
}

void tst_SingleInstance::filesOfACrashedProgramAreTakenOver()
{
    const SingleInstance paths(m_settings, m_runtime);
    // What a killed program leaves: its lock file, unlocked, and a socket nobody listens on.
    QFile lock(paths.lockPath());
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.close();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(paths.socketPath());
    std::memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ::close(fd);

    FirstProgram first(m_settings, m_runtime);
    QCOMPARE(first.begin(), Outcome::First);
    // It listens on that path now: a later start reaches it.
    SingleInstance later(m_settings, m_runtime);
    QCOMPARE(later.start(5s), Outcome::HandedOver);
}

void tst_SingleInstance::holderThatNeverListensGetsNoAnswer()
{
    SingleInstance later(m_settings, m_runtime);
    const int fd = holdLock(later.lockPath());
    QVERIFY(fd >= 0);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(later.start(300ms), Outcome::NoAnswer);
    QVERIFY(clock.elapsed() >= 300);
    QVERIFY2(later.error().contains(later.socketPath()), qPrintable(later.error()));
    ::close(fd);
}

void tst_SingleInstance::holderThatEndsWhileWaitedForIsSucceeded()
{
    SingleInstance later(m_settings, m_runtime);
    const int fd = holdLock(later.lockPath());
    QVERIFY(fd >= 0);
    std::thread holder([fd] {
        std::this_thread::sleep_for(200ms);
        ::close(fd);
    });
    const Outcome outcome = later.start(5s);
    holder.join();
    QCOMPARE(outcome, Outcome::First);
}

void tst_SingleInstance::unusableRuntimeFolderRunsUnguarded()
{
    SingleInstance program(m_settings, m_dir->filePath(u"gone"_s));
    QCOMPARE(program.start(1s), Outcome::Unguarded);
    QVERIFY2(program.error().startsWith(program.lockPath() + u": "_s), qPrintable(program.error()));
    QVERIFY2(program.error().contains(u"No such file"_s), qPrintable(program.error()));
}

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
