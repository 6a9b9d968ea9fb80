// The floor of a mail check: the least a client can do to learn a POP3 mailbox's count and size.
// Plain blocking POSIX sockets, no library above them: connect, read the greeting, USER, PASS,
// STAT, QUIT, each reply read whole before the next command goes out. With --tls, the same over
// OpenSSL's libssl from the first byte (POP3S): the certificate verified against OpenSSL's default
// paths (which SSL_CERT_FILE and SSL_CERT_DIR set) and HOST, TLS 1.2 at least.
//
//   rawpop3 [--tls] HOST PORT USER PASSWORD
//
// Prints the microseconds from socket() to QUIT sent (the answer known, the point where Larkspur
// writes its report) and to the end of the QUIT reply, then the STAT reply:
//   1187 1234 +OK 50 12923
// Exits 1 with a message on stderr when any step fails or a reply is not "+OK".
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "rawpop3: %s\n", what.c_str());
    std::exit(1);
}

[[noreturn]] void failTls(const std::string &what)
{
    char text[256] = "";
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    fail(what + ": " + text);
}

class Connection
{
public:
    // With `ssl`, everything goes through it; the handshake has been made already.
    Connection(int fd, SSL *ssl) : m_fd(fd), m_ssl(ssl) {}
    ~Connection()
    {
        if (m_ssl)
            SSL_free(m_ssl);
        ::close(m_fd);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // One reply line without its CR LF. Replies here are single lines; a bound keeps a server that
    // never ends its line from growing the buffer without end.
    std::string readLine()
    {
        for (;;) {
            const auto end = m_buffer.find('\n');
            if (end != std::string::npos) {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                return line;
            }
            if (m_buffer.size() > 64 * 1024)
                fail("reply line longer than 64 KiB");
            char chunk[4096];
            if (m_ssl) {
                const int got = SSL_read(m_ssl, chunk, sizeof chunk);
                if (got <= 0)
                    failTls("SSL_read");
                m_buffer.append(chunk, static_cast<std::size_t>(got));
                continue;
            }
            const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                fail(got == 0 ? "server closed the connection" : std::strerror(errno));
            m_buffer.append(chunk, static_cast<std::size_t>(got));
        }
    }

    void send(const std::string &command)
    {
        const std::string line = command + "\r\n";
        if (m_ssl) {
            if (SSL_write(m_ssl, line.data(), static_cast<int>(line.size())) !=
                static_cast<int>(line.size()))
                failTls("SSL_write");
            return;
        }
        std::size_t sent = 0;
        while (sent < line.size()) {
            const ssize_t n = ::send(m_fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                fail(std::string("send: ") + std::strerror(errno));
            sent += static_cast<std::size_t>(n);
        }
    }

    std::string expectOk(const char *step)
    {
        std::string line = readLine();
        if (line.rfind("+OK", 0) != 0)
            fail(std::string(step) + ": " + line);
        return line;
    }

private:
    int m_fd;
    SSL *m_ssl;
    std::string m_buffer;
};

// A context made before the clock starts: loading the trust store is set-up, not the check.
SSL_CTX *clientContext()
{
    SSL_CTX *context = SSL_CTX_new(TLS_client_method());
    if (!context)
        failTls("SSL_CTX_new");
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    if (SSL_CTX_set_default_verify_paths(context) != 1)
        failTls("SSL_CTX_set_default_verify_paths");
    return context;
}

SSL *handshake(SSL_CTX *context, int fd, const std::string &host)
{
    SSL *ssl = SSL_new(context);
    if (!ssl)
        failTls("SSL_new");
    X509_VERIFY_PARAM *checks = SSL_get0_param(ssl);
    // An address is checked against the certificate's IP names, a host name against its DNS names.
    if (X509_VERIFY_PARAM_set1_ip_asc(checks, host.c_str()) != 1) {
        // SSL_set_tlsext_host_name without its C cast.
        SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                 const_cast<char *>(host.c_str()));
        if (SSL_set1_host(ssl, host.c_str()) != 1)
            failTls("SSL_set1_host");
    }
    SSL_set_fd(ssl, fd);
    if (SSL_connect(ssl) != 1)
        failTls("SSL_connect");
    return ssl;
}

} // namespace

int main(int argc, char *argv[])
{
    const bool tls = argc == 6 && std::string(argv[1]) == "--tls";
    if (argc != 5 && !tls) {
        std::fprintf(stderr, "usage: rawpop3 [--tls] HOST PORT USER PASSWORD\n");
        return 2;
    }
    char **arg = argv + (tls ? 2 : 1);
    const std::string host = arg[0];
    const std::string port = arg[1];
    const std::string user = arg[2];
    const std::string password = arg[3];
    SSL_CTX *context = tls ? clientContext() : nullptr;

    // The address is resolved before the clock starts: the floor is the dialogue, not a lookup.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (const int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); rc != 0)
        fail(std::string("getaddrinfo: ") + ::gai_strerror(rc));

    const auto start = std::chrono::steady_clock::now();
    const int fd = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    if (fd < 0)
        fail(std::string("socket: ") + std::strerror(errno));
    if (::connect(fd, found->ai_addr, found->ai_addrlen) != 0)
        fail(std::string("connect: ") + std::strerror(errno));
    ::freeaddrinfo(found);

    std::string stat;
    std::chrono::steady_clock::time_point quitSent;
    {
        Connection pop3(fd, context ? handshake(context, fd, host) : nullptr);
        pop3.expectOk("greeting");
        pop3.send("USER " + user);
        pop3.expectOk("USER");
        pop3.send("PASS " + password);
        pop3.expectOk("PASS");
        pop3.send("STAT");
        stat = pop3.expectOk("STAT");
        pop3.send("QUIT");
        quitSent = std::chrono::steady_clock::now();
        pop3.expectOk("QUIT");
    }
    const auto end = std::chrono::steady_clock::now();
    if (context)
        SSL_CTX_free(context);
    const auto micros = [start](std::chrono::steady_clock::time_point at) {
        return static_cast<long long>(
            std::chrono::duration_cast<std::chrono::microseconds>(at - start).count());
    };
    std::printf("%lld %lld %s\n", micros(quitSent), micros(end), stat.c_str());
    return 0;
}
