// The floor of a mail check: the least a client can do to learn a POP3 mailbox's count and size.
// Plain blocking POSIX sockets, no library above them: connect, read the greeting, USER, PASS,
// STAT, QUIT, each reply read whole before the next command goes out.
//
//   rawpop3 HOST PORT USER PASSWORD
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

class Connection
{
public:
    explicit Connection(int fd) : m_fd(fd) {}
    ~Connection() { ::close(m_fd); }
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
    std::string m_buffer;
};

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: rawpop3 HOST PORT USER PASSWORD\n");
        return 2;
    }
    const std::string host = argv[1];
    const std::string port = argv[2];
    const std::string user = argv[3];
    const std::string password = argv[4];

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
        Connection pop3(fd);
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
    const auto micros = [start](std::chrono::steady_clock::time_point at) {
        return static_cast<long long>(
            std::chrono::duration_cast<std::chrono::microseconds>(at - start).count());
    };
    std::printf("%lld %lld %s\n", micros(quitSent), micros(end), stat.c_str());
    return 0;
}
