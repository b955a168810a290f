// The SFTP (version 3) packets an upload needs: building them and reading them back.
#pragma once

#include "net/BlockingSocket.h"

#include <QByteArray>

#include <optional>

namespace sftp {

enum class PacketType : quint8 {
    Init = 1,
    Version = 2,
    Open = 3,
    Close = 4,
    Write = 6,
    Remove = 13,
    RealPath = 16,
    Stat = 17,
    Rename = 18,
    Status = 101,
    Handle = 102,
    Name = 104,
    Attributes = 105,
    Extended = 200,
};

enum class StatusCode : quint32 {
    Ok = 0,
    EndOfFile = 1,
    NoSuchFile = 2,
    PermissionDenied = 3,
    Failure = 4,
    BadMessage = 5,
    OperationUnsupported = 8,
};

// How OPEN opens a file for writing: created when missing, emptied when there.
constexpr quint32 openForWriting = 0x02 | 0x08 | 0x10;

// A request: its type, id and fields; bytes() puts the length in front.
class PacketWriter {
public:
    explicit PacketWriter(PacketType type);
    PacketWriter& add32(quint32 value);
    PacketWriter& add64(quint64 value);
    PacketWriter& addString(const QByteArray& text);
    PacketWriter& addString(const char* data, qsizetype size);
    QByteArray bytes() const;

private:
    QByteArray m_body;
};

// A reply's fields in order; one that runs past the end raises SocketError (the server
// sent something that is no SFTP).
class PacketReader {
public:
    explicit PacketReader(QByteArray packet);
    PacketType type() const { return m_type; }
    quint32 take32();
    quint64 take64();
    QByteArray takeString();
    bool atEnd() const { return m_position >= m_packet.size(); }

private:
    QByteArray m_packet;
    qsizetype m_position = 0;
    PacketType m_type = PacketType::Init;
};

// What ATTRS tells of a file: its size and its mode when the server gives them.
struct FileAttributes {
    std::optional<quint64> size;
    std::optional<quint32> permissions;
    bool isFolder() const { return permissions && (*permissions & 0170000) == 0040000; }
};
FileAttributes takeAttributes(PacketReader& reader);

// Takes the first complete packet (without its length) off the front of `buffer`; none
// while it is incomplete. A length beyond any sane reply raises SocketError.
std::optional<QByteArray> takePacket(QByteArray& buffer);

} // namespace sftp
