// The texts a send run writes into the pane and the run log, in one place for translation.
#pragma once

#include "ftp/FtpClient.h"
#include "ftp/StationSession.h"

#include <QString>
#include <QStringList>

namespace runtexts {

// The lines every run has always written.
QString headerLine(qsizetype selected);
QString stationStartLine(const QString& stationName);
QString successLine();
QString networkErrorLine();
QString stoppedLine();
// A refusal named by the step it ended: the login, the remote folder, the transfer type.
QString loginRefusedCause(const QString& reply);
QString folderRefusedCause(const QString& reply);
QString typeRefusedCause(const QString& reply);
// Why a stopped station did not get a notice.
QString stoppedReason();
// What a station's session threw that nothing else caught.
QString unexpectedFailureCause(const QString& message);
QString endLine();

// Red lines before the first station: files left out of the whole run.
QString overCapacityLine(qsizetype leftOut, qsizetype capacity);
QString missingFileLine(const QString& name);
QString unreadableFileLine(const QString& name);
QString lineBreakNameLine(const QString& name);

// Indented lines in the window-text colour: the outcome of one file at one station.
// Stored, and checked on the server by size ("已核对"), by hash ("已核对（SHA-256）") or
// not (a server without SIZE).
QString fileStoredLine(const QString& name, qint64 bytes, Verification verification,
                       const QByteArray& hashName = {});
// Stored, but the server's size of it does not match or is unknown: not delivered.
QString fileNotDeliveredLine(const QString& name, qint64 bytes);
// Stored under name + ".part", but the rename to its real name was refused.
QString fileNotRenamedLine(const QString& name, qint64 bytes);
// Run log file only, after a stored file's line: station, name, bytes, the check and the
// temporary name when one was used.
QString fileNote(const QString& stationName, const QString& name, qint64 bytes,
                 Verification verification, const QByteArray& hashName = {},
                 const QString& tempName = {});
// The same after a file whose check failed (`check`: Size or Hash).
QString failedCheckNote(const QString& stationName, const QString& name, qint64 bytes,
                        Verification check, const QByteArray& hashName = {},
                        const QString& tempName = {});
QString fileNotSentLine(const QString& name);
QString fileNotSentLine(const QString& name, const QString& reason);
// Red: a file cut or shrunk, and what that left on the station: the file itself
// incomplete, or the temporary file `tempName` when one was used.
QString fileIncompleteLine(const QString& name, qint64 sent, qint64 size,
                           const QString& tempName = {});
// Reasons for fileNotSentLine.
// The name of `name` is beyond the session's encoding ("GBK", "UTF-8").
QString nameNotEncodableReason(const QString& name, const QString& encoding);
QString cannotOpenReason();

// The indented line under a network error line; `cause` in the reader's words already.
QString causeLine(const QString& cause);
// A failed connection, in the reader's words, with address and port when known.
QString socketCause(const SocketError& error, int idleLimitMs);
// A server's reply as one line, without its line ends.
QString replyCause(const QString& reply);
// The server holds another size than was sent, or cannot tell it (its reply).
QString sizeMismatchCause(qint64 sent, qint64 serverSize);
QString sizeUnknownCause(const QString& reply);
// The server's hash of the file (`algorithm`) is another, or it cannot tell it (its reply).
QString hashMismatchCause(const QByteArray& algorithm);
QString hashUnknownCause(const QByteArray& algorithm, const QString& reply);
QString emptyAddressCause();
QString folderNotEncodableCause(const QString& encoding);
// The station's host name has no address.
QString lookupFailedCause(const QString& name);
// Indented lines under a station's start line: the session's name encoding, and a switch
// from passive to active data connections with its reason.
QString nameEncodingLine(const QString& encoding);
QString modeFallbackLine(const FallbackReason& reason);
// Indented lines after the login: the session is encrypted ("已加密 TLS 1.3"), or it is not
// and why (`mode` Off: the station's choice; else the server took no AUTH TLS).
QString encryptedLine(const QString& protocol);
QString notEncryptedLine(TlsMode mode);
// The station's certificate, not trusted by the system, was seen for the first time and is
// remembered by its fingerprint.
QString certificateRememberedLine(const QByteArray& fingerprint);
// The station shows another certificate than the one remembered: no login.
QString certificateChangedCause(const QByteArray& remembered, const QByteArray& presented);
// Run log file only, after the encryption line: station, protocol and certificate or host key.
QString securityNote(const QString& stationName, const SessionSecurity& security);
// "已记住主机密钥 SHA256:...": the first host key of an SSH station, remembered.
QString hostKeyRememberedLine(const QByteArray& fingerprint);
// Both host keys, and that no password went out.
QString hostKeyChangedCause(const QByteArray& remembered, const QByteArray& presented);
// A station whose protocol the run's session does not speak.
QString protocolUnavailableCause();

// Stop, first press, while a file is being sent.
QString stoppingLine();
// After a run with failed or stopped stations.
QString retryLine();
// The run log file could not be written; the run goes on.
QString logFileFailedLine(const QString& path, const QString& reason);

// Run log file only: where a station line went, never with the password.
QString stationNote(const QString& address, int port, const QString& user);

// Notices that must not reach the wrong place, a station that did not get every notice,
// a stranger's data connection and a run that the window's closing ended.
// Red, before the first station: two or more selected names that are one name on the
// station (`remoteName`, lower-cased); none of them is sent.
QString sameRemoteNameLine(const QStringList& names, const QString& remoteName);
// Red, before the first station: a name that would leave the remote folder ("\", "/",
// only dots).
QString folderEscapeNameLine(const QString& name);
// Stored; the server could not check it (SIZE or HASH not understood: its reply).
QString fileUncheckedLine(const QString& name, qint64 bytes, const QString& reply);
// Red, in place of the success line: `missing` of the `selected` notices did not arrive.
QString unfinishedLine(qsizetype missing, qsizetype selected);
// A caller other than the server tried the data connection and was closed.
QString dataCallerRefusedLine(const QString& address);
// In place of the stopped line when the window's closing ended the run.
QString closedLine();

// A name as a line can show it: line breaks made visible.
QString visibleName(const QString& name);

// Station identity and encryption history (red lines under a station's start line).
// Stations.ini holds options for the station's address that are not certainly its own.
QString uncertainOptionsLine();
// The station was encrypted before and the server now refuses TLS: no login.
QString encryptionRefusedLine();
// The station's user name or password holds a line break or NUL: no login.
QString loginNotOneLineCause();

} // namespace runtexts
