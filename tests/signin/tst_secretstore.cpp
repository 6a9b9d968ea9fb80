// What needs no keyring: how an item is named and found, and the status lines of the problems.

#include "signin/SecretServiceStore.h"
#include "wording/Wording.h"

#include <QSet>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSecretStore : public QObject
{
    Q_OBJECT

private slots:
    void itemNames_data()
    {
        QTest::addColumn<SecretKey>("key");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("kind");
        QTest::newRow("password") << SecretKey{u"pop.example.com"_s, u"somchai"_s,
                                               SecretKind::Password}
                                  << u"Larkspur: somchai@pop.example.com"_s << u"password"_s;
        QTest::newRow("Thai user name kept as typed")
            << SecretKey{u"pop.example.co.th"_s, u"สมชาย"_s, SecretKind::Password}
            << u"Larkspur: สมชาย@pop.example.co.th"_s << u"password"_s;
        QTest::newRow("OAuth2 refresh token: a label of its own")
            << SecretKey{u"outlook.office365.com"_s, u"a@outlook.com"_s, SecretKind::OAuth2Refresh}
            << u"Larkspur: a@outlook.com@outlook.office365.com (OAuth2 refresh token)"_s
            << u"oauth2-refresh"_s;
    }
    void itemNames()
    {
        QFETCH(SecretKey, key);
        QFETCH(QString, label);
        QFETCH(QString, kind);
        QCOMPARE(SecretServiceStore::labelFor(key), label);
        const QMap<QString, QString> expected{{u"application"_s, u"larkspur"_s},
                                              {u"server"_s, key.server},
                                              {u"user"_s, key.user},
                                              {u"kind"_s, kind}};
        QCOMPARE(SecretServiceStore::attributesFor(key), expected);
    }

    // Each problem has its own Thai line, and the keyring's reason follows it.
    void problemLines()
    {
        const QList<SecretProblem> problems{SecretProblem::NoBus, SecretProblem::NoService,
                                            SecretProblem::Locked, SecretProblem::Refused,
                                            SecretProblem::Failed};
        QSet<QString> lines;
        for (SecretProblem problem : problems) {
            const QString line = secretProblemLine(problem, u"English reason"_s);
            QVERIFY2(line.endsWith(u" : English reason"_s), qPrintable(line));
            QVERIFY2(line.at(0).script() == QChar::Script_Thai, qPrintable(line));
            lines.insert(line);
        }
        QCOMPARE(lines.size(), problems.size());
        QVERIFY(Wording::passwordKeptScrambled(u"no keyring"_s).contains(u"Settings.inf"_s));
    }
};

QTEST_GUILESS_MAIN(TestSecretStore)
#include "tst_secretstore.moc"
