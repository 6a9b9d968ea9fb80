#pragma once

#include "mailcheck/TlsTrust.h"
#include "signin/OAuth2Post.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// tests/support/oauth2-server for one test: either started here, with certificates made for it
// and any free port, or the one pop3-sandbox --oauth2 runs (LARKSPUR_OAUTH2_URL). Clients trust
// its test CA through SSL_CERT_FILE, which start() sets before any TLS connection is made.
class OAuth2TestServer
{
public:
    ~OAuth2TestServer()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5'000))
                m_process.kill();
            m_process.waitForFinished(5'000);
        }
    }

    // Starts a server of its own with these extra arguments; its address is then url().
    [[nodiscard]] bool start(const QStringList &arguments = {})
    {
        const QString source = qEnvironmentVariable("LARKSPUR_SOURCE_DIR");
        const QString certs = m_dir.path() + QStringLiteral("/certs");
        if (source.isEmpty() || !m_dir.isValid() ||
            QProcess::execute(source + QStringLiteral("/tests/support/make-test-certs"), {certs}) !=
                0)
            return false;
        qputenv("SSL_CERT_FILE", (certs + QStringLiteral("/ca.pem")).toLocal8Bit());
        // Its stdin stays open while this process lives: should the test die, the server ends.
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(source + QStringLiteral("/tests/support/oauth2-server"),
                        QStringList{QStringLiteral("--cert"), certs + QStringLiteral("/server.pem"),
                                    QStringLiteral("--key"), certs + QStringLiteral("/server.key"),
                                    QStringLiteral("--exit-with-stdin")} +
                            arguments);
        if (!QTest::qWaitFor([this] { return m_process.canReadLine(); }, 20'000))
            return false;
        m_url = QString::fromLatin1(m_process.readLine().trimmed());
        return m_url.startsWith(QStringLiteral("https://127.0.0.1:"));
    }

    // The one pop3-sandbox --oauth2 started.
    [[nodiscard]] bool useSandbox()
    {
        m_url = qEnvironmentVariable("LARKSPUR_OAUTH2_URL");
        return !m_url.isEmpty() && qEnvironmentVariableIsSet("SSL_CERT_FILE");
    }

    QString url() const { return m_url; }
    QUrl endpoint(const QString &path) const { return QUrl(m_url + path); }

    // A POST to one of its endpoints (/admin/... included) and the JSON answer; the HTTP status in
    // *status (0: no answer).
    QJsonObject post(const QString &path, const OAuth2Form &form = {}, int *status = nullptr)
    {
        QNetworkRequest request(endpoint(path));
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/x-www-form-urlencoded"));
        request.setSslConfiguration(TlsTrust::clientConfiguration());
        QNetworkReply *reply = m_network.post(request, OAuth2Post::encode(form));
        QSignalSpy finished(reply, &QNetworkReply::finished);
        const bool answered = finished.wait(10'000);
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        if (status)
            *status =
                answered ? reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
        reply->deleteLater();
        return answer;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QNetworkAccessManager m_network;
    QString m_url;
};
