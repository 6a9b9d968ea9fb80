#include "mailcheck/ImapCommand.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace
{

// RFC 7888: LITERAL- allows literals sent at once up to this size.
constexpr qsizetype NonSynchronizingLimit = 4096;

bool is7Bit(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<uchar>(c) < 0x80; });
}

} // namespace

ImapCommand::ImapCommand(QByteArrayView tag, Literals literals) : m_literals(literals)
{
    if (mayTravel(tag))
        m_parts.append(tag.toByteArray());
}

ImapCommand &ImapCommand::words(QByteArrayView protocol)
{
    if (isValid() && mayTravel(protocol))
        m_parts.last().append(' ').append(protocol);
    return *this;
}

ImapCommand &ImapCommand::string(QByteArrayView text)
{
    if (!isValid() || !mayTravel(text))
        return *this;
    QByteArray &part = m_parts.last();
    part.append(' ');
    if (is7Bit(text)) {
        part.append('"');
        for (const char c : text) {
            if (c == '"' || c == '\\')
                part.append('\\');
            part.append(c);
        }
        part.append('"');
        return *this;
    }
    const bool atOnce =
        m_literals == Literals::NonSynchronizing ||
        (m_literals == Literals::NonSynchronizingUpTo4k && text.size() <= NonSynchronizingLimit);
    part.append('{').append(QByteArray::number(text.size()));
    part.append(atOnce ? "+}\r\n" : "}\r\n");
    if (atOnce)
        part.append(text);
    else
        m_parts.append(text.toByteArray());
    return *this;
}

QList<QByteArray> ImapCommand::parts() const
{
    if (!isValid())
        return {};
    QList<QByteArray> parts = m_parts;
    parts.last().append("\r\n");
    return parts;
}

bool ImapCommand::mayTravel(QByteArrayView bytes)
{
    if (!bytes.contains('\r') && !bytes.contains('\n') && !bytes.contains('\0'))
        return true;
    m_error = u"a command's argument holds a CR, an LF or a NUL byte"_s;
    m_parts.clear();
    return false;
}
