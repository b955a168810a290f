// SFTP packets: big-endian numbers and length-prefixed strings.
#include "ftp/SftpPackets.h"

#include "ftp/FtpReasons.h"

#include <QtEndian>

namespace sftp {

namespace {

// Far above any reply an upload gets (OpenSSH's own limit is 256 KiB).
constexpr quint32 packetLimit = 1024 * 1024;

[[noreturn]] void raiseMalformed(const char* what)
{
    throw SocketError(platform::reason(FtpCode::MalformedSftpPacket, {QString::fromLatin1(what)}),
                      SocketFailure::Other);
}

} // namespace

PacketWriter::PacketWriter(PacketType type)
{
    m_body.append(char(type));
}

PacketWriter& PacketWriter::add32(quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    m_body.append(bytes, 4);
    return *this;
}

PacketWriter& PacketWriter::add64(quint64 value)
{
    char bytes[8];
    qToBigEndian(value, bytes);
    m_body.append(bytes, 8);
    return *this;
}

PacketWriter& PacketWriter::addString(const QByteArray& text)
{
    return addString(text.constData(), text.size());
}

PacketWriter& PacketWriter::addString(const char* data, qsizetype size)
{
    add32(quint32(size));
    m_body.append(data, size);
    return *this;
}

QByteArray PacketWriter::bytes() const
{
    char length[4];
    qToBigEndian(quint32(m_body.size()), length);
    return QByteArray(length, 4) + m_body;
}

PacketReader::PacketReader(QByteArray packet)
    : m_packet(std::move(packet))
{
    if (m_packet.isEmpty())
        raiseMalformed("empty");
    m_type = PacketType(quint8(m_packet[0]));
    m_position = 1;
}

quint32 PacketReader::take32()
{
    if (m_packet.size() - m_position < 4)
        raiseMalformed("short number");
    const quint32 value = qFromBigEndian<quint32>(m_packet.constData() + m_position);
    m_position += 4;
    return value;
}

quint64 PacketReader::take64()
{
    if (m_packet.size() - m_position < 8)
        raiseMalformed("short number");
    const quint64 value = qFromBigEndian<quint64>(m_packet.constData() + m_position);
    m_position += 8;
    return value;
}

QByteArray PacketReader::takeString()
{
    const quint32 length = take32();
    if (quint64(m_packet.size() - m_position) < length)
        raiseMalformed("short string");
    const QByteArray text = m_packet.mid(m_position, qsizetype(length));
    m_position += qsizetype(length);
    return text;
}

FileAttributes takeAttributes(PacketReader& reader)
{
    constexpr quint32 hasSize = 0x1, hasOwner = 0x2, hasPermissions = 0x4, hasTimes = 0x8,
                      hasExtended = 0x80000000;
    FileAttributes attributes;
    const quint32 flags = reader.take32();
    if (flags & hasSize)
        attributes.size = reader.take64();
    if (flags & hasOwner) {
        reader.take32();
        reader.take32();
    }
    if (flags & hasPermissions)
        attributes.permissions = reader.take32();
    if (flags & hasTimes) {
        reader.take32();
        reader.take32();
    }
    if (flags & hasExtended) {
        for (quint32 count = reader.take32(); count > 0; --count) {
            reader.takeString();
            reader.takeString();
        }
    }
    return attributes;
}

std::optional<QByteArray> takePacket(QByteArray& buffer)
{
    if (buffer.size() < 4)
        return std::nullopt;
    const quint32 length = qFromBigEndian<quint32>(buffer.constData());
    if (length == 0 || length > packetLimit)
        raiseMalformed("impossible length");
    if (quint64(buffer.size()) < 4 + quint64(length))
        return std::nullopt;
    QByteArray packet = buffer.mid(4, qsizetype(length));
    buffer.remove(0, 4 + qsizetype(length));
    return packet;
}

} // namespace sftp
