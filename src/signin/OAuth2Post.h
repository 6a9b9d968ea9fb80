#pragma once

#include "signin/OAuth2Tokens.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <utility>

class QNetworkAccessManager;
class QNetworkReply;

// Name and value pairs, sent as application/x-www-form-urlencoded.
using OAuth2Form = QList<std::pair<QString, QString>>;

// One form POST to an OAuth2 endpoint and its JSON answer: over the program's TLS trust, no
// redirect followed (a body with a code or a secret goes nowhere else), the answer bounded and the
// whole exchange under one deadline. Every failure arrives classified.
class OAuth2Post final : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype MaxAnswerBytes = 64 * 1024;
    static constexpr std::chrono::milliseconds DefaultDeadline{30'000};

    explicit OAuth2Post(QNetworkAccessManager &network, QObject *parent = nullptr);
    ~OAuth2Post() override;

    void setDeadline(std::chrono::milliseconds deadline) { m_deadline = deadline; }
    // Starts the POST; one still under way is abandoned without a signal.
    void post(const QUrl &url, const OAuth2Form &form);
    bool isBusy() const { return !m_reply.isNull(); }

    // Each character outside RFC 3986's unreserved set percent-encoded, "+" included.
    static QByteArray encode(const OAuth2Form &form);

signals:
    // HTTP 2xx with a JSON object.
    void answered(const QJsonObject &answer);
    void failed(const OAuth2Failure &failure);

private:
    void onReadyRead();
    void onFinished();
    void onDeadline();
    void release();
    void fail(OAuth2FailureKind kind, const QString &reason);

    QNetworkAccessManager &m_network;
    QPointer<QNetworkReply> m_reply;
    QTimer m_timer;
    std::chrono::milliseconds m_deadline = DefaultDeadline;
};
