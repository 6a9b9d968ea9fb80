#pragma once

#include "mailcheck/TlsTrust.h"
#include "platform/UrlOpener.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QStringList>
#include <QUrl>

// The user's browser for a sign-in test: it records every address it is given and, while it
// follows, fetches the address and walks its redirects as a browser does (the authorization
// server's 302 to our loopback listener included), keeping the last page it was shown.
class BrowserStandIn final : public QObject, public UrlOpener
{
public:
    bool open(const QString &address) override
    {
        opened.append(address);
        if (follows)
            visit(QUrl(address, QUrl::StrictMode));
        return accepts;
    }

    // Visits an address now, as if the user had typed it.
    void visit(const QUrl &address, int redirectsLeft = 5)
    {
        QNetworkRequest request(address);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);
        request.setSslConfiguration(TlsTrust::clientConfiguration());
        QNetworkReply *reply = m_network.get(request);
        connect(reply, &QNetworkReply::finished, this, [this, reply, redirectsLeft] {
            reply->deleteLater();
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            const QUrl location = reply->header(QNetworkRequest::LocationHeader).toUrl();
            if (status >= 300 && status < 400 && location.isValid() && redirectsLeft > 0)
                return visit(reply->url().resolved(location), redirectsLeft - 1);
            lastStatus = status;
            lastPage = QString::fromUtf8(reply->readAll());
            ++pagesShown;
        });
    }

    QStringList opened;
    bool follows = true;
    bool accepts = true;
    int lastStatus = 0;
    QString lastPage;
    int pagesShown = 0;

private:
    QNetworkAccessManager m_network;
};
