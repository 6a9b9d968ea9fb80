#include "signin/OAuth2Post.h"

#include "mailcheck/TlsTrust.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

using namespace Qt::StringLiterals;

OAuth2Post::OAuth2Post(QNetworkAccessManager &network, QObject *parent)
    : QObject(parent), m_network(network)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &OAuth2Post::onDeadline);
}

OAuth2Post::~OAuth2Post()
{
    release();
}

QByteArray OAuth2Post::encode(const OAuth2Form &form)
{
    QByteArray body;
    for (const auto &[name, value] : form) {
        if (!body.isEmpty())
            body += '&';
        body += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return body;
}

void OAuth2Post::post(const QUrl &url, const OAuth2Form &form)
{
    release();
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader(QByteArrayLiteral("Accept"), QByteArrayLiteral("application/json"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setSslConfiguration(TlsTrust::clientConfiguration());
    m_reply = m_network.post(request, encode(form));
    connect(m_reply, &QNetworkReply::readyRead, this, &OAuth2Post::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &OAuth2Post::onFinished);
    m_timer.start(m_deadline);
}

void OAuth2Post::release()
{
    m_timer.stop();
    if (QNetworkReply *reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void OAuth2Post::fail(OAuth2FailureKind kind, const QString &reason)
{
    release();
    emit failed({kind, QString(), reason});
}

void OAuth2Post::onReadyRead()
{
    if (m_reply && m_reply->bytesAvailable() > MaxAnswerBytes)
        fail(OAuth2FailureKind::Misconfigured,
             u"the answer is larger than %1 KiB"_s.arg(MaxAnswerBytes / 1024));
}

void OAuth2Post::onDeadline()
{
    fail(OAuth2FailureKind::Temporary,
         u"no answer within %1 s"_s.arg(
             std::chrono::ceil<std::chrono::seconds>(m_deadline).count()));
}

void OAuth2Post::onFinished()
{
    QNetworkReply *reply = m_reply;
    if (!reply)
        return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    const QByteArray body = reply->read(MaxAnswerBytes + 1);
    release();

    // Qt numbers the failures below the HTTP level under 200: refused, unreachable, a TLS failure,
    // a connection broken in the middle of an answer.
    if (status == 0 || (error > QNetworkReply::NoError && error < 200)) {
        emit failed({OAuth2FailureKind::Temporary, QString(),
                     OAuth2Answers::loggable(error == QNetworkReply::NoError ? u"no HTTP answer"_s
                                                                             : errorText)});
        return;
    }
    if (body.size() > MaxAnswerBytes) {
        emit failed({OAuth2FailureKind::Misconfigured, QString(),
                     u"the answer is larger than %1 KiB"_s.arg(MaxAnswerBytes / 1024)});
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (status >= 200 && status < 300) {
        if (document.isObject())
            emit answered(document.object());
        else
            emit failed({OAuth2FailureKind::Misconfigured, QString(),
                         u"HTTP %1 without a JSON object"_s.arg(status)});
        return;
    }
    emit failed(OAuth2Answers::failureFrom(status, document.object()));
}
