#pragma once

#include "mailcheck/TcpControl.h"
#include "settings/SecuritySettings.h"

#include <QSet>
#include <QTimer>
#include <functional>

class Prompt;

// The security of one check, beneath the POP3 dialogue: it stands between the check and
// `Winsock1` as a control of the same kind. By the chosen mode it connects plain, with TLS at
// once, or plain with STLS: then it takes the greeting, asks CAPA, sends STLS and hands the
// greeting on only once TLS is up, so the dialogue sees what it always saw. It decides on
// certificates the system does not vouch for (asking the user, through the prompt, to trust a
// home server's own one), refuses what is not safe before a user name has been sent, and
// remembers the servers reached over TLS and the certificates trusted.
class SecureChannel final : public TcpControl
{
    Q_OBJECT

public:
    // Capability lines of CAPA taken at most: a server has a dozen.
    static constexpr int MaxCapabilities = 100;

    SecureChannel(TcpControl &inner, Prompt &prompt, std::function<SecurityMode()> mode,
                  QObject *parent = nullptr);

    // What the checks so far have taught; as Settings.inf keeps it.
    const SecurityMemory &memory() const { return m_memory; }
    void setMemory(const SecurityMemory &memory) { m_memory = memory; }
    // The choice has changed: nothing learnt under the old one holds.
    void forget() { m_memory = {}; }
    // Runs when a check has added to the memory (a server reached over TLS, a certificate
    // trusted), to have it saved.
    void setMemoryChanged(std::function<void()> changed) { m_memoryChanged = std::move(changed); }

    void Close() override;
    void setLocalPort(quint16 port) override;
    // `server` is txtPOP3Server as typed; `plainPort` the port for a server given without one.
    bool Connect(const QString &server, quint16 plainPort, QString *errorText = nullptr) override;
    QString GetData() override;
    bool SendData(const QString &line) override;
    QString TlsProtocol() const override;
    QString SecurityNote() const override { return m_note; }

private:
    enum class Phase {
        Idle,      // no connection
        Greeting,  // waiting for the greeting, which is held back
        Capa,      // CAPA sent
        CapaList,  // taking the capability lines
        Stls,      // STLS sent
        Handshake, // TLS under way
        Dialogue,  // the check's own: every line passes through
    };

    void onDataArrival();
    void onError(qint16 number, const QString &description);
    void onEncrypted();
    void onCertificateCheck(const QSslCertificate &certificate, const QList<QSslError> &errors);
    void withoutStls();
    void startDialogue();
    void pass(const QString &line);
    void refuse(qint16 number, const QString &description);
    // Whether the same check is still running after something that let events run.
    bool rememberAndSave(quint64 session);

    TcpControl &m_inner;
    Prompt &m_prompt;
    std::function<SecurityMode()> m_mode;
    std::function<void()> m_memoryChanged;
    QTimer m_capaDeadline;

    SecurityMemory m_memory;
    // Server and certificate pairs the user has been asked about in this run.
    QSet<QString> m_asked;

    quint64 m_session = 0;
    Phase m_phase = Phase::Idle;
    SecurityMode m_chosen = SecurityMode::Automatic;
    QString m_server;
    QString m_host;
    bool m_startTls = false;
    bool m_stlsOffered = false;
    bool m_trustedByUser = false;
    int m_capabilities = 0;
    QString m_greeting;
    QString m_current;
    QString m_note;
};
