#include "mailcheck/ImapSession.h"

#include "mailcheck/ImapCommand.h"
#include "mailcheck/LineEnds.h"
#include "mailcheck/TcpControl.h"
#include "mailcheck/Winsock1.h"
#include "signin/SaslOAuth.h"
#include "wording/Wording.h"

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace
{

using LineEnds::CrLf;
using LineEnds::withoutLineEnd;

// What one connection may make the reader hold. A line holds a SEARCH result of tens of thousands
// of UIDs; a literal holds one message's header fields, which are asked for in part only.
ImapReaderLimits readerLimits()
{
    ImapReaderLimits limits;
    limits.lineBytes = 256 * 1024;
    limits.responseBytes = 512 * 1024;
    limits.literalBytes = 2 * ImapSession::HeaderBytes;
    return limits;
}

bool sameLogin(const MailLogin &a, const MailLogin &b)
{
    return a.server == b.server && a.user == b.user && a.security == b.security &&
           a.credential.kind == b.credential.kind &&
           (a.credential.kind == Credential::Kind::BearerToken ||
            a.credential.secret == b.credential.secret);
}

// A NO to the login that asks to come back later is no verdict on the credential (RFC 5530).
bool temporaryRefusal(const ImapResponse &response)
{
    return response.status != ImapResponse::Status::No || response.code == "UNAVAILABLE" ||
           response.code == "INUSE" || response.code == "SERVERBUG" || response.code == "LIMIT";
}

// The command's name for a time-out's line: the protocol words after the tag, never an argument
// (a quoted user name, a base64 response).
QString commandName(const QByteArray &firstPart)
{
    const QList<QByteArray> words = firstPart.trimmed().split(' ');
    QStringList name;
    for (qsizetype i = 1; i < words.size() && name.size() < 2; ++i) {
        const QByteArray &word = words[i];
        if (word.isEmpty() ||
            !std::all_of(word.cbegin(), word.cend(), [](char c) { return c >= 'A' && c <= 'Z'; }))
            break;
        name.append(QString::fromLatin1(word));
    }
    return name.join(u' ');
}

// The value of the first item named "BODY[HEADER..." of a FETCH: the server writes the section
// back as it likes it (field names in its own case, an origin "<0>" after it).
const ImapValue *headerItem(const ImapResponse &response)
{
    if (response.data.items.size() != 1)
        return nullptr;
    const QList<ImapValue> &items = response.data.items.first().items;
    for (qsizetype i = 0; i + 1 < items.size(); i += 2) {
        if (items[i].isAtom() && items[i].text.toUpper().startsWith("BODY[HEADER"))
            return &items[i + 1];
    }
    return nullptr;
}

std::optional<qint64> numberOf(const ImapValue *value)
{
    if (!value || !value->isNumber() || value->number > quint64(std::numeric_limits<qint64>::max()))
        return std::nullopt;
    return qint64(value->number);
}

// An ESEARCH sequence set ("4:6,9") as UIDs within [from, below), at most `room` of them.
void addSequenceSet(const QByteArray &set, qint64 from, qint64 below, qsizetype room,
                    QList<qint64> &uids)
{
    for (const QByteArray &range : set.split(',')) {
        const qsizetype colon = range.indexOf(':');
        bool firstOk = false;
        bool lastOk = false;
        qint64 first = range.left(colon < 0 ? range.size() : colon).toLongLong(&firstOk);
        qint64 last = colon < 0 ? first : range.mid(colon + 1).toLongLong(&lastOk);
        if (!firstOk || (colon >= 0 && !lastOk))
            continue;
        if (first > last)
            std::swap(first, last);
        for (qint64 uid = std::max(first, from); uid <= last && uid < below; ++uid) {
            if (uids.size() >= room)
                return;
            uids.append(uid);
        }
    }
}

} // namespace

ImapSession::ImapSession(TcpControl &channel, SecureChannel &security, QObject *parent)
    : MailSession(parent), m_channel(channel), m_security(security)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &ImapSession::onDeadline);
    // The one timer of an idle connection, once in many minutes: to the second is close enough.
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_idleTimer, &QTimer::timeout, this, &ImapSession::onIdleRenewal);
    connect(&m_channel, &TcpControl::DataArrival, this, &ImapSession::onDataArrival);
    connect(&m_channel, &TcpControl::Error, this, &ImapSession::onError);
    connect(&m_channel, &TcpControl::closedByPeer, this, &ImapSession::onClosedByPeer);
    connect(&m_channel, &TcpControl::encrypted, this, &ImapSession::onEncrypted);
    connect(&m_channel, &TcpControl::certificateCheck, this, &ImapSession::onCertificateCheck);
}

ImapSession::~ImapSession() = default;

std::optional<QString> ImapSession::start(const MailLogin &login, SecurityMemory &memory,
                                          const SeenState &remembered, qint64 totalOldEmail,
                                          const QDateTime & /*now*/)
{
    if (m_state != State::Idle)
        stop();
    ++m_generation;
    m_login = login;
    m_memory = &memory;
    m_rule.emplace(totalOldEmail, remembered);
    m_reader = std::make_unique<ImapResponseReader>(readerLimits());
    m_note.clear();
    m_greetingLine.clear();
    m_greeting.reset();
    m_preauthenticated = false;
    m_authenticated = false;
    m_capabilities.clear();
    m_tag.clear();
    m_tags = 0;
    m_parts.clear();
    m_queued = false;
    m_box = ImapMailbox();
    m_octets.reset();
    m_scannedCount.reset();
    m_arrived = false;
    m_plan = Plan();
    m_quiet = false;
    m_refreshing = false;
    m_reporting = false;
    m_idleConfirmed = false;

    m_route = m_security.route(login.server, login.security, m_plainPort, TlsPort, memory);
    if (!m_route.refusal.isEmpty())
        return m_route.refusal;
    m_awaitingStartTls = m_route.tls == SecureChannel::Tls::Later;
    m_state = State::Greeting;
    m_channel.setMaxLineBytes(readerLimits().lineBytes);
    const auto failure = SecureChannel::open(m_channel, m_route);
    if (failure)
        m_state = State::Idle;
    return failure;
}

void ImapSession::stop()
{
    ++m_generation;
    m_channel.Close();
    m_deadline.stop();
    m_idleTimer.stop();
    m_asking = false;
    m_queued = false;
    m_state = State::Idle;
}

void ImapSession::answerCertificate(bool trust)
{
    if (m_memory && m_security.answer(trust, *m_memory))
        emit memoryChanged();
    if (std::exchange(m_asking, false))
        m_security.resume(trust, m_channel);
}

bool ImapSession::refresh(const MailLogin &login)
{
    if (!sameLogin(login, m_login) || !has("IDLE"))
        return false;
    switch (m_state) {
    case State::Idling:
    case State::Done:
        m_refreshing = true;
        break;
    case State::Status:
    case State::Examine:
    case State::Sizes:
    case State::LastUid:
    case State::Search:
    case State::Headers:
    case State::Noop:
        // The scan under way reports, and now as an asked one; asked while it reports, a scan of
        // its own follows.
        m_quiet = false;
        if (m_reporting)
            m_refreshing = true;
        break;
    default:
        return false;
    }
    emit statusAppended(u"รับข้อมูลจาก "_s + m_login.server + CrLf);
    emit progressChanged(60);
    if (m_state == State::Idling && m_idleConfirmed)
        endIdle();
    return true;
}

// ---------------------------------------------------------------- the responses

void ImapSession::onDataArrival()
{
    const QString line = m_channel.GetData();
    const QByteArray bytes = m_channel.lineBytes();
    if (m_state == State::Idle || m_state == State::Ended || m_state == State::Handshake)
        return;
    m_reader->feed(bytes);
    const quint64 generation = m_generation;
    while (const auto response = m_reader->next()) {
        take(*response, line);
        if (generation != m_generation || m_state == State::Ended || m_state == State::Idle)
            return;
    }
    if (m_reader->hasError()) {
        if (m_state == State::Logout)
            close();
        else
            fail(SessionFailure::Protocol, Wording::imapUnreadable(m_reader->errorText()));
        return;
    }
    flushQueued();
}

void ImapSession::take(const ImapResponse &response, const QString &line)
{
    switch (response.kind) {
    case ImapResponse::Kind::Continuation:
        continuation(response);
        return;
    case ImapResponse::Kind::Tagged:
        tagged(response, line);
        return;
    case ImapResponse::Kind::Untagged:
        if (m_state == State::Greeting)
            greeting(response, line);
        else
            untagged(response);
        return;
    }
}

void ImapSession::greeting(const ImapResponse &response, const QString &line)
{
    const bool positive = response.status == ImapResponse::Status::Ok ||
                          response.status == ImapResponse::Status::Preauth;
    if (positive && response.code == "CAPABILITY")
        readCapabilities(response.codeArguments);
    m_preauthenticated = response.status == ImapResponse::Status::Preauth;
    if (positive && m_awaitingStartTls) {
        // Held back until TLS is up, so that the log shows what it always shows.
        m_greeting = response;
        m_greetingLine = line;
        if (m_capabilities.isEmpty() && !m_preauthenticated)
            command(ImapCommand(nextTag()).words("CAPABILITY"), State::Capability);
        else
            afterCapabilities();
        return;
    }
    if (dialogueReply(response, line, SessionFailure::Refused))
        greeted();
}

void ImapSession::greeted()
{
    if (m_capabilities.isEmpty())
        command(ImapCommand(nextTag()).words("CAPABILITY"), State::Capability);
    else
        afterCapabilities();
}

void ImapSession::afterCapabilities()
{
    if (m_awaitingStartTls) {
        // After PREAUTH there is no STARTTLS: the session is signed in already, in the clear.
        if (!m_preauthenticated && has("STARTTLS")) {
            command(ImapCommand(nextTag()).words("STARTTLS"), State::StartTls);
            return;
        }
        QString refusal;
        switch (m_security.withoutStartTls(*m_memory)) {
        case SecureChannel::WithoutStartTls::GoOn:
            break;
        case SecureChannel::WithoutStartTls::ChosenButMissing:
            refusal = Wording::imapNoStartTlsAsChosen();
            break;
        case SecureChannel::WithoutStartTls::GoneSinceLastTime:
            refusal = Wording::imapStartTlsGoneSinceLastTime();
            break;
        case SecureChannel::WithoutStartTls::NotOffered:
            refusal = Wording::imapNoEncryptionOffered();
            break;
        }
        if (!refusal.isEmpty()) {
            fail(SessionFailure::Security,
                 QString::number(Winsock1::NoEncryption) + u" : "_s + refusal);
            return;
        }
        // A server on this machine, in the clear: the held greeting is the dialogue's now.
        m_awaitingStartTls = false;
        if (!dialogueReply(*m_greeting, m_greetingLine, SessionFailure::Refused))
            return;
    }
    if (m_preauthenticated) {
        m_authenticated = true;
        startFirstScan();
        return;
    }
    startLogin();
}

void ImapSession::startLogin()
{
    const QByteArray user = m_login.user.toUtf8();
    const QString &secret = m_login.credential.secret;
    ImapCommand::Literals literals = ImapCommand::Literals::Synchronizing;
    if (has("LITERAL+"))
        literals = ImapCommand::Literals::NonSynchronizing;
    else if (has("LITERAL-"))
        literals = ImapCommand::Literals::NonSynchronizingUpTo4k;
    ImapCommand login(nextTag(), literals);

    // The SASL initial response goes with the command where the server allows (RFC 4959), else on
    // its "+".
    const auto authenticate = [&](QByteArrayView mechanism, const QByteArray &response) {
        login.words("AUTHENTICATE").words(mechanism);
        if (has("SASL-IR"))
            login.words(response.isEmpty() ? QByteArrayView("=") : QByteArrayView(response));
        else
            m_saslResponse = response;
    };
    m_saslResponse.reset();
    m_saslChallenge.clear();
    if (m_login.credential.kind == Credential::Kind::BearerToken) {
        std::optional<QByteArray> response;
        if (has("AUTH=OAUTHBEARER")) {
            m_mechanism = Mechanism::OAuthBearer;
            response = SaslOAuth::oauthBearer(m_login.user, secret);
        } else if (has("AUTH=XOAUTH2")) {
            m_mechanism = Mechanism::XOAuth2;
            response = SaslOAuth::xoauth2(m_login.user, secret);
        } else {
            QStringList offered;
            for (const QByteArray &capability : std::as_const(m_capabilities))
                if (capability.startsWith("AUTH="))
                    offered.append(QString::fromLatin1(capability));
            offered.sort();
            fail(SessionFailure::Refused, Wording::imapNoOAuthMechanism(offered.join(u' ')));
            return;
        }
        if (!response) {
            fail(SessionFailure::Refused, Wording::imapCredentialUnusable());
            return;
        }
        authenticate(m_mechanism == Mechanism::OAuthBearer ? "OAUTHBEARER" : "XOAUTH2", *response);
    } else if (!has("LOGINDISABLED")) {
        m_mechanism = Mechanism::Login;
        login.words("LOGIN").string(user).string(secret.toUtf8());
    } else if (has("AUTH=PLAIN")) {
        m_mechanism = Mechanism::Plain;
        authenticate("PLAIN", ('\0' + user + '\0' + secret.toUtf8()).toBase64());
    } else {
        fail(SessionFailure::Refused, Wording::imapLoginDisabled());
        return;
    }
    if (!command(login, State::Login))
        return;
    // How the connection is protected, right after the greeting; a plain one says nothing.
    if (!m_note.isEmpty())
        emit statusAppended(m_note + CrLf);
    emit statusAppended(u"ชื่อผู้ใช้ : "_s + m_login.user + CrLf);
    emit progressChanged(20);
    // Twelve x whatever the credential: the log never tells anything about it.
    emit statusAppended(u"รหัสผ่าน : xxxxxxxxxxxx "_s + CrLf);
    emit progressChanged(40);
}

void ImapSession::loggedIn(const ImapResponse &response)
{
    m_authenticated = true;
    // What the server can do once signed in, which it may tell only now.
    if (response.code == "CAPABILITY") {
        m_capabilities.clear();
        readCapabilities(response.codeArguments);
        startFirstScan();
        return;
    }
    command(ImapCommand(nextTag()).words("CAPABILITY"), State::Capability);
}

void ImapSession::startFirstScan()
{
    emit statusAppended(u"รับข้อมูลจาก "_s + m_login.server + CrLf);
    emit progressChanged(60);
    const bool statusSize = has("STATUS=SIZE");
    // STATUS before EXAMINE: RFC 3501 would rather not see it on the selected mailbox.
    m_plan = Plan{statusSize, true, !statusSize, false, true, true, true};
    m_quiet = false;
    m_arrived = false;
    advance();
}

// The mailbox changed on the open connection: its size again, its last UID, the new mail. STATUS
// on the selected mailbox is what RFC 3501 would rather not see (Dovecot answers it with
// [CLIENTBUG]): the sizes are added up where that is cheap, and STATUS is asked only where not.
void ImapSession::rescan(bool quiet)
{
    const bool statusSize = has("STATUS=SIZE") && m_box.count.value_or(0) > MostSizesFetched;
    m_plan = Plan{statusSize, false, !statusSize, true, true, true, true};
    m_quiet = quiet;
    m_arrived = false;
    advance();
}

void ImapSession::advance()
{
    const qint64 count = m_box.count.value_or(-1);
    if (std::exchange(m_plan.status, false)) {
        m_octets.reset();
        command(ImapCommand(nextTag()).words("STATUS INBOX (SIZE)"), State::Status);
        return;
    }
    if (std::exchange(m_plan.examine, false)) {
        m_box = ImapMailbox();
        command(ImapCommand(nextTag()).words("EXAMINE INBOX"), State::Examine);
        return;
    }
    if (std::exchange(m_plan.sizes, false)) {
        m_octets.reset();
        if (count == 0)
            m_octets = 0;
        if (count > 0 && count <= MostSizesFetched) {
            m_sizes.clear();
            command(ImapCommand(nextTag()).words("FETCH 1:* (RFC822.SIZE)"), State::Sizes);
            return;
        }
    }
    if (std::exchange(m_plan.lastUid, false) && count > 0) {
        command(ImapCommand(nextTag()).words("FETCH * (UID)"), State::LastUid);
        return;
    }
    if (std::exchange(m_plan.search, false)) {
        m_unseen.clear();
        if (const auto from = m_rule->searchFrom(m_box)) {
            m_searchFrom = *from;
            const QByteArray words = "UID SEARCH UID " + QByteArray::number(*from) + ":* UNSEEN";
            command(ImapCommand(nextTag()).words(words), State::Search);
            return;
        }
    }
    if (std::exchange(m_plan.verdict, false)) {
        m_scan = MailScan();
        m_scan.count = m_box.count;
        m_scan.octets = m_octets;
        m_scan.verdict = m_rule->verdict(m_box, m_unseen);
        m_headers.clear();
    }
    if (std::exchange(m_plan.headers, false) && !m_scan.verdict.newNumbers.isEmpty()) {
        // Under the count rule the newest messages stand for the new ones, by sequence number.
        m_headersByUid = m_scan.verdict.basis == NewMailVerdict::Basis::Ids;
        QByteArrayList numbers;
        for (const qint64 number : std::as_const(m_scan.verdict.newNumbers))
            numbers.append(QByteArray::number(number));
        const QByteArray words = (m_headersByUid ? "UID FETCH " : "FETCH ") + numbers.join(',') +
                                 " (UID BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)]<0." +
                                 QByteArray::number(HeaderBytes) + ">)";
        command(ImapCommand(nextTag()).words(words), State::Headers);
        return;
    }
    finishScan();
}

void ImapSession::finishScan()
{
    m_deadline.stop();
    std::sort(m_headers.begin(), m_headers.end(),
              [](const HeaderBlock &a, const HeaderBlock &b) { return a.number > b.number; });
    m_scan.headers = m_headers;
    m_scannedCount = m_box.count;
    if (m_scan.verdict.basis != NewMailVerdict::Basis::Unread)
        m_rule.emplace(m_scan.verdict.totalOldEmail, m_scan.verdict.seen);
    const bool quiet = std::exchange(m_quiet, false);
    m_refreshing = false;

    // A check asked while the report is being made is served after it.
    const quint64 generation = m_generation;
    m_reporting = true;
    emit scanned(m_scan);
    m_reporting = false;
    if (generation != m_generation)
        return;

    if (!has("IDLE")) {
        logout();
        if (!quiet)
            emit statusAppended(u"รับข้อมูลเรียบร้อย (ออกจากระบบ)"_s + CrLf);
        return;
    }
    if (!quiet)
        emit statusAppended(Wording::imapWaitingForNewMail() + CrLf);
    if (m_refreshing)
        command(ImapCommand(nextTag()).words("NOOP"), State::Noop);
    else if (m_arrived)
        rescan(true);
    else
        startIdle();
}

void ImapSession::startIdle()
{
    m_idleConfirmed = false;
    command(ImapCommand(nextTag()).words("IDLE"), State::Idling);
}

void ImapSession::endIdle()
{
    m_idleTimer.stop();
    m_idleConfirmed = false;
    m_state = State::Done;
    m_deadline.start(m_channel.replyTimeout());
    m_commandName = u"IDLE"_s;
    queueOrSend("DONE\r\n");
}

void ImapSession::logout()
{
    command(ImapCommand(nextTag()).words("LOGOUT"), State::Logout);
}

void ImapSession::untagged(const ImapResponse &response)
{
    // While idling the server tells what happens to the mailbox for as long as it likes.
    if (m_state != State::Idling && ++m_untagged > MostUntagged) {
        fail(SessionFailure::Protocol, Wording::imapTooManyResponses(MostUntagged));
        return;
    }
    if (response.status == ImapResponse::Status::Bye) {
        if (m_state != State::Logout)
            fail(SessionFailure::Connection, Wording::imapBye(QString::fromUtf8(response.text)));
        return;
    }
    if (response.isStatus()) {
        if (response.code == "CAPABILITY")
            readCapabilities(response.codeArguments);
        if (m_state == State::Examine && !response.codeArguments.items.isEmpty()) {
            const auto value = numberOf(&response.codeArguments.items.first());
            if (response.code == "UIDVALIDITY" && value)
                m_box.uidValidity = *value;
            else if (response.code == "UIDNEXT" && value)
                m_box.uidNext = *value;
        }
        return;
    }

    const QByteArray &name = response.name;
    const qint64 number =
        response.number && *response.number <= quint64(std::numeric_limits<qint64>::max())
            ? qint64(*response.number)
            : -1;
    if (name == "CAPABILITY") {
        m_capabilities.clear();
        readCapabilities(response.data);
    } else if (name == "EXISTS" && number >= 0) {
        // EXAMINE tells the count; anything past it later is mail that has come since.
        if (m_state != State::Examine && m_box.count && number > *m_box.count)
            m_arrived = true;
        m_box.count = number;
        if (m_arrived && m_state == State::Idling && m_idleConfirmed)
            endIdle();
    } else if (name == "EXPUNGE") {
        if (m_box.count.value_or(0) > 0)
            m_box.count = *m_box.count - 1;
    } else if (name == "STATUS" && m_state == State::Status) {
        if (response.data.items.first().text.compare("INBOX", Qt::CaseInsensitive) == 0) {
            if (const auto size = numberOf(response.data.items.last().find("SIZE")))
                m_octets = *size;
        }
    } else if (name == "FETCH" && number >= 0) {
        fetched(response, number);
    } else if (name == "SEARCH" && m_state == State::Search) {
        for (const ImapValue &value : response.data.items) {
            if (const auto uid = numberOf(&value); uid && m_unseen.size() < MostSearchResults)
                m_unseen.append(*uid);
        }
    } else if (name == "ESEARCH" && m_state == State::Search) {
        // IMAP4rev2's answer to a search (RFC 9051): (TAG "x") UID ALL 4:6,9
        const QList<ImapValue> &items = response.data.items;
        for (qsizetype i = 0; i + 1 < items.size(); ++i) {
            if (items[i].is("ALL"))
                addSequenceSet(items[i + 1].text, m_searchFrom,
                               m_box.uidNext < 1 ? std::numeric_limits<qint64>::max()
                                                 : m_box.uidNext,
                               MostSearchResults, m_unseen);
        }
    }
}

void ImapSession::fetched(const ImapResponse &response, qint64 sequence)
{
    switch (m_state) {
    case State::Sizes:
        if (const auto size = numberOf(response.fetchItem("RFC822.SIZE")))
            if (m_sizes.size() < MostSizesFetched || m_sizes.contains(sequence))
                m_sizes.insert(sequence, *size);
        return;
    case State::LastUid:
        // UIDs only grow: the next one is past the highest there is, and never below the last
        // one known.
        if (const auto uid = numberOf(response.fetchItem("UID"));
            uid && *uid < std::numeric_limits<qint64>::max())
            m_box.uidNext = std::max(m_box.uidNext, *uid + 1);
        return;
    case State::Headers: {
        const ImapValue *header = headerItem(response);
        const auto uid = numberOf(response.fetchItem("UID"));
        const std::optional<qint64> number = m_headersByUid ? uid : std::optional(sequence);
        if (!header || !number || !m_scan.verdict.newNumbers.contains(*number) ||
            std::any_of(m_headers.cbegin(), m_headers.cend(),
                        [&](const HeaderBlock &block) { return block.number == *number; }))
            return;
        m_headers.append(HeaderBlock{*number, header->text.left(HeaderBytes)});
        return;
    }
    default:
        // Flags changed elsewhere: nothing a count of new mail depends on.
        return;
    }
}

void ImapSession::tagged(const ImapResponse &response, const QString &line)
{
    // Only the command in flight can be answered, and only once it has gone out.
    if (m_tag.isEmpty() || response.tag != m_tag || m_queued) {
        fail(SessionFailure::Protocol, Wording::replyBeforeCommand());
        return;
    }
    m_deadline.stop();
    m_tag.clear();
    m_parts.clear();
    const bool ok = response.status == ImapResponse::Status::Ok;
    switch (m_state) {
    case State::Capability:
        // A server that will not name its capabilities offers none: no STARTTLS either.
        if (m_authenticated)
            startFirstScan();
        else
            afterCapabilities();
        return;
    case State::StartTls:
        if (!ok) {
            fail(SessionFailure::Security, QString::number(Winsock1::NoEncryption) + u" : "_s +
                                               Wording::startTlsRefused(withoutLineEnd(line)));
            return;
        }
        // Whatever stands behind the reply came in the clear, to be read as if encrypted.
        if (m_reader->pendingBytes() > 0 || m_channel.hasPendingData()) {
            fail(SessionFailure::Security, QString::number(Winsock1::ClearTextInjected) + u" : "_s +
                                               Wording::imapClearTextAfterStartTls());
            return;
        }
        m_state = State::Handshake;
        // On failure the channel reports it.
        m_channel.startTls();
        return;
    case State::Login: {
        const SessionFailure failure =
            temporaryRefusal(response) ? SessionFailure::Refused : SessionFailure::LoginRefused;
        if (dialogueReply(response, line, failure))
            loggedIn(response);
        return;
    }
    case State::Status:
        // No size after all: added up from the messages, when there are few.
        if (!ok || !m_octets)
            m_plan.sizes = true;
        advance();
        return;
    case State::Examine:
        if (dialogueReply(response, line, SessionFailure::Refused))
            advance();
        return;
    case State::Sizes: {
        const qint64 count = m_box.count.value_or(-1);
        m_octets.reset();
        // Every message's size, or none: a sum that misses some would be a wrong size.
        if (ok && m_sizes.size() == count) {
            qint64 sum = 0;
            for (const qint64 size : std::as_const(m_sizes))
                sum += size;
            m_octets = sum;
        }
        m_sizes.clear();
        advance();
        return;
    }
    case State::Search:
        // Without a search the UIDs tell nothing: the count decides, as on a first check.
        if (!ok) {
            m_unseen.clear();
            m_box.uidNext = -1;
        }
        advance();
        return;
    case State::LastUid:
    case State::Headers:
        advance();
        return;
    case State::Idling:
        // IDLE refused: the connection is not kept, once a check asked meanwhile is served.
        // (Ended by the server before DONE, it is renewed as after DONE.)
        if (!m_idleConfirmed && !ok) {
            m_capabilities.remove("IDLE");
            if (!m_refreshing && !m_arrived) {
                logout();
                return;
            }
        }
        [[fallthrough]];
    case State::Done:
        m_idleConfirmed = false;
        if (m_refreshing)
            command(ImapCommand(nextTag()).words("NOOP"), State::Noop);
        else if (m_arrived)
            rescan(true);
        else
            startIdle();
        return;
    case State::Noop:
        if (!dialogueReply(response, line, SessionFailure::Refused))
            return;
        if (m_arrived || m_box.count != m_scannedCount) {
            rescan(false);
        } else {
            // Nothing moved: the same mailbox, reported again.
            m_plan = Plan{false, false, false, false, true, true, true};
            advance();
        }
        return;
    case State::Logout:
        close();
        return;
    case State::Idle:
    case State::Greeting:
    case State::Handshake:
    case State::Ended:
        return;
    }
}

void ImapSession::continuation(const ImapResponse &response)
{
    if (m_queued || m_tag.isEmpty()) {
        fail(SessionFailure::Protocol, Wording::replyBeforeCommand());
        return;
    }
    if (m_state == State::Idling && !m_idleConfirmed) {
        m_idleConfirmed = true;
        m_deadline.stop();
        if (m_refreshing || m_arrived)
            endIdle();
        else
            m_idleTimer.start(m_idleRenewal);
        return;
    }
    if (m_state == State::Login) {
        // The rest of a command with a literal; the SASL response of a server without SASL-IR.
        if (!m_parts.isEmpty()) {
            queueOrSend(m_parts.takeFirst());
            return;
        }
        if (m_saslResponse) {
            queueOrSend(*std::exchange(m_saslResponse, std::nullopt) + "\r\n");
            return;
        }
        // The OAuth2 error challenge: answered as the mechanism asks, so that the server ends
        // with its NO; anything else a mechanism does not expect is cancelled.
        const bool oauth =
            m_mechanism == Mechanism::OAuthBearer || m_mechanism == Mechanism::XOAuth2;
        if (oauth && m_saslChallenge.isEmpty()) {
            m_saslChallenge = SaslOAuth::errorChallengeText(response.text);
            queueOrSend((m_mechanism == Mechanism::XOAuth2 ? SaslOAuth::xoauth2ErrorReply()
                                                           : SaslOAuth::oauthBearerErrorReply()) +
                        "\r\n");
            return;
        }
        if (m_mechanism != Mechanism::Login) {
            queueOrSend("*\r\n");
            return;
        }
    }
    fail(SessionFailure::Protocol,
         Wording::imapUnreadable(u"a continuation request that no command waits for"_s));
}

// A reply of the described dialogue: logged, then judged.
bool ImapSession::dialogueReply(const ImapResponse &response, const QString &line,
                                SessionFailure failure)
{
    emit progressChanged(0);
    emit statusAppended(line + CrLf);
    if (response.status == ImapResponse::Status::Ok ||
        response.status == ImapResponse::Status::Preauth)
        return true;
    close();
    emit statusReplaced(u"เกิดความผิดพลาด : "_s + line + u"48"_s + u" IMAP Error"_s);
    QString reason = withoutLineEnd(line);
    if (!m_saslChallenge.isEmpty())
        reason = Wording::oauth2MailServerRefusedToken(m_saslChallenge);
    emit failed(failure, reason);
    return false;
}

bool ImapSession::command(const ImapCommand &command, State next)
{
    const QList<QByteArray> parts = command.parts();
    if (parts.isEmpty()) {
        fail(SessionFailure::Refused, Wording::imapCredentialUnusable());
        return false;
    }
    m_state = next;
    m_tag = parts.first().left(parts.first().indexOf(' '));
    m_commandName = commandName(parts.first());
    m_parts = parts.mid(1);
    m_untagged = 0;
    m_deadline.start(m_channel.replyTimeout());
    queueOrSend(parts.first());
    return true;
}

// Every line goes out only when nothing is waiting unread: an answer that came before its
// command was sent would otherwise be taken for the command's. Unlike POP3, an IMAP server may
// say something unasked at any time, so what waits is read first, and the line goes after it.
void ImapSession::queueOrSend(const QByteArray &bytes)
{
    if (m_channel.hasPendingData()) {
        m_queued = true;
        m_queuedBytes = bytes;
        return;
    }
    m_channel.SendData(QString::fromUtf8(bytes));
}

void ImapSession::flushQueued()
{
    if (!m_queued || m_channel.hasPendingData())
        return;
    m_queued = false;
    m_channel.SendData(QString::fromUtf8(std::exchange(m_queuedBytes, QByteArray())));
}

QByteArray ImapSession::nextTag()
{
    return "L" + QByteArray::number(++m_tags);
}

void ImapSession::readCapabilities(const ImapValue &list)
{
    for (const ImapValue &item : list.items)
        if (item.isAtom())
            m_capabilities.insert(item.text.toUpper());
}

bool ImapSession::has(QByteArrayView capability) const
{
    return m_capabilities.contains(capability.toByteArray());
}

// ---------------------------------------------------------------- the channel's other events

void ImapSession::onError(qint16 number, const QString &description)
{
    const State was = m_state;
    close();
    m_asking = false;
    switch (was) {
    // After LOGOUT nothing is left to fail.
    case State::Logout:
    case State::Ended:
    case State::Idle:
        return;
    default:
        break;
    }
    const QString text =
        number == Winsock1::ClearTextInjected ? Wording::imapClearTextAfterStartTls() : description;
    emit statusAppended(QString::number(number) + u" : "_s + text + CrLf);
    // Winsock's numbers are the network's; ours from 12000 on are TLS's.
    emit failed(number >= Winsock1::TlsHandshakeFailed ? SessionFailure::Security
                                                       : SessionFailure::Connection,
                text);
}

void ImapSession::onClosedByPeer()
{
    switch (m_state) {
    case State::Logout:
    case State::Ended:
    case State::Idle:
        close();
        return;
    case State::Idling:
        if (m_idleConfirmed) {
            fail(SessionFailure::Connection, QString::number(Winsock1::ConnectionReset) + u" : "_s +
                                                 Wording::imapClosedWhileIdle());
            return;
        }
        break;
    default:
        break;
    }
    fail(SessionFailure::Connection,
         QString::number(Winsock1::ConnectionReset) + u" : "_s + Wording::imapClosed());
}

void ImapSession::onDeadline()
{
    if (m_state == State::Logout) {
        close();
        return;
    }
    onError(Winsock1::TimedOut,
            Wording::imapReplyTimedOut(m_commandName, m_channel.replyTimeout()));
}

void ImapSession::onIdleRenewal()
{
    if (m_state == State::Idling && m_idleConfirmed)
        endIdle();
}

void ImapSession::onEncrypted()
{
    if (m_memory && m_security.encrypted(*m_memory))
        emit memoryChanged();
    m_note = m_security.note(m_channel.tlsProtocol());
    if (!m_awaitingStartTls)
        return;
    // STARTTLS: nothing said before it counts any more but the greeting, and the capabilities
    // are asked again (RFC 3501).
    m_awaitingStartTls = false;
    m_reader = std::make_unique<ImapResponseReader>(readerLimits());
    m_capabilities.clear();
    m_state = State::Greeting;
    if (!dialogueReply(*m_greeting, m_greetingLine, SessionFailure::Refused))
        return;
    command(ImapCommand(nextTag()).words("CAPABILITY"), State::Capability);
}

void ImapSession::onCertificateCheck(const QSslCertificate &certificate,
                                     const QList<QSslError> &errors)
{
    if (!m_memory)
        return;
    if (const auto question = m_security.settle(m_channel, certificate, errors, *m_memory)) {
        m_asking = true;
        emit certificateQuestion(*question);
    }
}

void ImapSession::fail(SessionFailure failure, const QString &line)
{
    close();
    emit statusAppended(line + CrLf);
    emit failed(failure, line);
}

void ImapSession::close()
{
    m_deadline.stop();
    m_idleTimer.stop();
    m_channel.Close();
    m_queued = false;
    m_tag.clear();
    m_state = State::Ended;
}
