#include "notify/DesktopNotifier.h"

#include "wording/Wording.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

using namespace Qt::StringLiterals;

namespace
{

constexpr auto Service = "org.freedesktop.Notifications"_L1;
constexpr auto Path = "/org/freedesktop/Notifications"_L1;
constexpr auto Interface = "org.freedesktop.Notifications"_L1;
// A notification that has not been taken by then would tell of mail long since counted; a hung
// server must not hold back the next one for longer either.
constexpr int ReplyTimeoutMs = 10'000;

// Errors after which a second call would meet nobody either.
bool nobodyAnswered(const QDBusError &error)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
    case QDBusError::Disconnected:
    case QDBusError::NoServer:
        return true;
    default:
        return false;
    }
}

// One line of plain text: a control character would end the line (or, a NUL, the D-Bus string)
// early, and a lone surrogate has no UTF-8 form, so they become spaces and U+FFFD. Runs of spaces
// are folded, and the line is cut at MaxLineLength whatever it came with.
QString plainLine(const QString &text)
{
    constexpr qsizetype maxLength = DesktopNotifier::MaxLineLength;
    // Enough for a full line even after its spaces are folded; more is never looked at.
    QStringView head = QStringView(text).left(4 * maxLength);
    if (head.size() < text.size() && head.back().isHighSurrogate())
        head.chop(1);

    QString line;
    line.reserve(head.size());
    for (qsizetype i = 0; i < head.size(); ++i) {
        const QChar c = head[i];
        if (c.isHighSurrogate() && i + 1 < head.size() && head[i + 1].isLowSurrogate()) {
            line.append(c);
            line.append(head[++i]);
        } else if (c.isSurrogate()) {
            line.append(QChar::ReplacementCharacter);
        } else if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
                   c.category() == QChar::Separator_Paragraph) {
            line.append(u' ');
        } else {
            line.append(c);
        }
    }
    line = line.simplified();

    if (line.size() > maxLength || head.size() < text.size()) {
        qsizetype keep = qMin(line.size(), maxLength - 1);
        if (keep > 0 && line.at(keep - 1).isHighSurrogate())
            --keep;
        line.truncate(keep);
        line.append(u'\u2026');
    }
    return line;
}

QString escapedMarkup(QString text)
{
    return text.replace(u'&', u"&amp;"_s).replace(u'<', u"&lt;"_s).replace(u'>', u"&gt;"_s);
}

} // namespace

DesktopNotifier::DesktopNotifier(QDBusConnection bus, QObject *parent)
    : QObject(parent), m_bus(std::move(bus))
{
    // From any sender, checked in the slot against the server that took the notification: naming
    // the service here would have Qt ask the bus for its owner and wait for the answer.
    m_bus.connect(QString(), Path, Interface, u"ActionInvoked"_s, this,
                  SLOT(onActionInvoked(uint, QString, QDBusMessage)));
    m_bus.connect(QString(), Path, Interface, u"NotificationClosed"_s, this,
                  SLOT(onNotificationClosed(uint, uint, QDBusMessage)));
}

void DesktopNotifier::notify(const QString &summary, const QStringList &bodyLines)
{
    Request request{plainLine(summary), {}};
    const qsizetype shown = qMin(bodyLines.size(), MaxBodyLines);
    for (qsizetype i = 0; i < shown; ++i)
        request.lines.append(plainLine(bodyLines.at(i)));
    if (bodyLines.size() > shown)
        request.lines.append(Wording::desktopNotificationMore(bodyLines.size() - shown));

    // Sent now, or after the one on its way has its id to replace; an older waiting one is
    // dropped, as it would have been replaced at once.
    m_waiting = std::move(request);
    if (!m_sending)
        sendWaiting();
}

void DesktopNotifier::sendWaiting()
{
    if (!m_waiting)
        return;
    const Request request = std::move(*m_waiting);
    m_waiting.reset();
    m_sending = true;

    if (!m_bus.isConnected()) {
        QDBusError error = m_bus.lastError();
        if (!error.isValid())
            error = QDBusError(QDBusError::Disconnected, u"Not connected to D-Bus server"_s);
        // Told from the event loop like every other outcome, never from inside notify().
        QMetaObject::invokeMethod(
            this, [this, error] { finish(error); }, Qt::QueuedConnection);
        return;
    }
    askCapabilities(request);
}

// Asked before every notification: the server may have been replaced since the last one.
void DesktopNotifier::askCapabilities(const Request &request)
{
    const QDBusMessage call =
        QDBusMessage::createMethodCall(Service, Path, Interface, u"GetCapabilities"_s);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, ReplyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, request](QDBusPendingCallWatcher *done) {
                done->deleteLater();
                const QDBusPendingReply<QStringList> reply = *done;
                if (reply.isError() && nobodyAnswered(reply.error())) {
                    finish(reply.error());
                    return;
                }
                // Another server does not know our id, and may have given it to someone else.
                if (reply.reply().service() != m_server)
                    m_id = 0;
                // GNOME parses markup whatever it lists, so a server that cannot tell may too.
                const bool escape = reply.isError() || reply.value().contains(u"body-markup"_s);
                sendNotify(request, escape);
            });
}

void DesktopNotifier::sendNotify(const Request &request, bool escapeMarkup)
{
    QString body = request.lines.join(u'\n');
    if (escapeMarkup)
        body = escapedMarkup(body);
    const QVariantMap hints{
        {u"urgency"_s, QVariant::fromValue<uchar>(1)}, // normal; a BYTE on the bus, nothing else
        {u"category"_s, u"email.arrived"_s},
        // How GNOME finds our name and icon, and where it files the notification.
        {u"desktop-entry"_s, QStringLiteral(LARKSPUR_APP_ID)},
        // Larkspur plays its own sound when the user asked for one.
        {u"suppress-sound"_s, true},
    };
    // "default" is the click on the notification itself; its label shows on servers that make
    // a button of every action.
    const QStringList actions{u"default"_s, Wording::desktopNotificationOpenWindow()};

    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, u"Notify"_s);
    call << u"larkspur"_s << m_id << u"larkspur"_s << request.summary << body << actions << hints
         << -1;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, ReplyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *done) {
                done->deleteLater();
                const QDBusPendingReply<uint> reply = *done;
                if (reply.isError()) {
                    finish(reply.error());
                    return;
                }
                m_id = reply.value();
                m_server = reply.reply().service();
                finish(std::nullopt);
            });
}

void DesktopNotifier::finish(const std::optional<QDBusError> &error)
{
    m_sending = false;
    if (error) {
        // The reason comes from another program: held to one plain line like everything shown.
        const QString reason = error->message().isEmpty() ? error->name() : error->message();
        emit failed(Wording::desktopNotificationFailed(plainLine(reason)));
    }
    sendWaiting();
}

void DesktopNotifier::onActionInvoked(uint id, const QString &actionKey,
                                      const QDBusMessage &message)
{
    if (id != 0 && id == m_id && message.service() == m_server && actionKey == u"default"_s)
        emit activated();
}

void DesktopNotifier::onNotificationClosed(uint id, uint, const QDBusMessage &message)
{
    // A closed notification cannot be replaced, and its id may be handed out again.
    if (id != 0 && id == m_id && message.service() == m_server)
        m_id = 0;
}
