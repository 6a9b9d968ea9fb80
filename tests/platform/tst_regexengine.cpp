// The regular expression engine asked of Qt: the interpreter, unless the user chose, and never
// passed on to the programs started from here.
#include "platform/RegexEngine.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace
{
constexpr char variable[] = "QT_ENABLE_REGEXP_JIT";

// Anonymous memory that may run code: where a JIT compiler puts what it compiled.
bool holdsCompiledCode()
{
    QFile maps(u"/proc/self/maps"_s);
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    // Read whole: the kernel gives the file no size, so it is at its end before it is read.
    const QList<QByteArray> lines = maps.readAll().split('\n');
    return std::any_of(lines.cbegin(), lines.cend(), [](const QByteArray &line) {
        // Address, permissions, offset, device, inode, and no file name.
        const QList<QByteArray> fields = line.simplified().split(' ');
        return fields.size() == 5 && fields[1].contains('x');
    });
}
} // namespace

class TestRegexEngine : public QObject
{
    Q_OBJECT

private slots:
    // First, while nothing in this process has matched an expression: Qt reads the choice once.
    void theInterpreterCompilesNoCode()
    {
        qunsetenv(variable);
        QVERIFY(RegexEngine::preferInterpreter());
        QVERIFY(!holdsCompiledCode());
        // As Qt's certificate folder scan matches names.
        const QRegularExpression hashName(u"^[0-9a-f]{8}\\.[0-9]$"_s);
        QVERIFY(hashName.match(u"5ad8a5d6.0"_s).hasMatch());
        QVERIFY(!hashName.match(u"ca-certificates.crt"_s).hasMatch());
        QVERIFY2(!holdsCompiledCode(), "an expression was compiled to machine code");
        RegexEngine::keepFromChildren();
    }

    void choice_data()
    {
        QTest::addColumn<bool>("userSet");
        QTest::addColumn<QByteArray>("userValue");
        QTest::addColumn<bool>("asks");
        QTest::addColumn<bool>("setWhileRunning");
        QTest::addColumn<QByteArray>("whileRunning");
        QTest::addColumn<bool>("setForChildren");

        QTest::newRow("unset: the interpreter, for this program only")
            << false << QByteArray() << true << true << QByteArray("0") << false;
        QTest::newRow("the user's JIT is kept, and passed on")
            << true << QByteArray("1") << false << true << QByteArray("1") << true;
        QTest::newRow("the user's empty value is a choice too")
            << true << QByteArray() << false << true << QByteArray() << true;
    }

    void choice()
    {
        QFETCH(bool, userSet);
        QFETCH(QByteArray, userValue);
        QFETCH(bool, asks);
        QFETCH(bool, setWhileRunning);
        QFETCH(QByteArray, whileRunning);
        QFETCH(bool, setForChildren);

        qunsetenv(variable);
        if (userSet)
            qputenv(variable, userValue);
        QCOMPARE(RegexEngine::preferInterpreter(), asks);
        QCOMPARE(qEnvironmentVariableIsSet(variable), setWhileRunning);
        QCOMPARE(qgetenv(variable), whileRunning);
        RegexEngine::keepFromChildren();
        QCOMPARE(qEnvironmentVariableIsSet(variable), setForChildren);
        if (setForChildren)
            QCOMPARE(qgetenv(variable), userValue);
    }
};

QTEST_GUILESS_MAIN(TestRegexEngine)
#include "tst_regexengine.moc"
