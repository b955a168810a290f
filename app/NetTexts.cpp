// The forms of the messages net/ and ftp/ raise that can reach the reader as a cause.
#include "app/NetTexts.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace {

// Each form as the lower layers write it; %n stands for a part that varies.
const char* const forms[] = {
    // ftp/
    QT_TRANSLATE_NOOP("NetTexts", "Not an FTP server: %1"),
    QT_TRANSLATE_NOOP("NetTexts", "Reply code %1 is out of range"),
    QT_TRANSLATE_NOOP("NetTexts", "The reply is longer than %1 bytes"),
    QT_TRANSLATE_NOOP("NetTexts", "Cannot read the passive address in the reply: %1"),
    QT_TRANSLATE_NOOP("NetTexts", "No data port in the reply to EPSV: %1"),
    QT_TRANSLATE_NOOP("NetTexts", "Line break in the %1 command; nothing was sent"),
    // ftp/, SFTP stations
    QT_TRANSLATE_NOOP("NetTexts", "Not an SSH server: %1"),
    QT_TRANSLATE_NOOP("NetTexts", "Cannot start an SSH session"),
    QT_TRANSLATE_NOOP("NetTexts", "Cannot set up the SSH session: %1"),
    QT_TRANSLATE_NOOP("NetTexts", "the socket cannot be handed over"),
    QT_TRANSLATE_NOOP("NetTexts", "The server does not offer password login (it offers: %1)"),
    QT_TRANSLATE_NOOP("NetTexts",
                      "Login refused for user %1: wrong user name or password (the server "
                      "offers: %2)"),
    QT_TRANSLATE_NOOP("NetTexts",
                      "No password given, and the server offers no key login (it offers: %1)"),
    QT_TRANSLATE_NOOP("NetTexts",
                      "Login refused for user %1: none of your SSH keys was accepted (the "
                      "server offers: %2)"),
    QT_TRANSLATE_NOOP("NetTexts", "The server offers no SFTP: %1"),
    QT_TRANSLATE_NOOP("NetTexts", "The server's SFTP did not start"),
    QT_TRANSLATE_NOOP("NetTexts", "The server sent an unexpected SFTP reply to %1"),
    QT_TRANSLATE_NOOP("NetTexts", "The server sent an unexpected SFTP reply"),
    QT_TRANSLATE_NOOP("NetTexts", "The server named no folder for %1"),
    QT_TRANSLATE_NOOP("NetTexts", "Cannot change to folder %1: %2"),
    QT_TRANSLATE_NOOP("NetTexts", "not a folder"),
    QT_TRANSLATE_NOOP("NetTexts", "Cannot store %1: %2"),
    QT_TRANSLATE_NOOP("NetTexts", "Cannot rename %1.part to %2: %3"),
    // net/
    QT_TRANSLATE_NOOP("NetTexts", "Connection to %1 failed: %2"),
    QT_TRANSLATE_NOOP("NetTexts", "Data connection to %1 failed: %2"),
    QT_TRANSLATE_NOOP("NetTexts", "Line too long: no line end within %1 bytes"),
    QT_TRANSLATE_NOOP("NetTexts", "Text to send is too long: %1 bytes, at most 65535 allowed"),
    QT_TRANSLATE_NOOP("NetTexts", "Error creating Data Connection"),
    QT_TRANSLATE_NOOP("NetTexts", "Not Connected"),
    QT_TRANSLATE_NOOP("NetTexts", "Already connected"),
    QT_TRANSLATE_NOOP("NetTexts", "Socket send aborted"),
    QT_TRANSLATE_NOOP("NetTexts", "timed out"),
    // The system's words for socket errors that have no reader's wording of their own.
    QT_TRANSLATE_NOOP("NetTexts", "permission denied"),
    QT_TRANSLATE_NOOP("NetTexts", "too many open files"),
    QT_TRANSLATE_NOOP("NetTexts", "no buffer space available"),
    QT_TRANSLATE_NOOP("NetTexts", "address already in use"),
    QT_TRANSLATE_NOOP("NetTexts", "cannot assign requested address"),
    QT_TRANSLATE_NOOP("NetTexts", "address family not supported by protocol"),
    QT_TRANSLATE_NOOP("NetTexts", "network is down"),
    QT_TRANSLATE_NOOP("NetTexts", "network is unreachable"),
    QT_TRANSLATE_NOOP("NetTexts", "no route to host"),
    QT_TRANSLATE_NOOP("NetTexts", "connection refused"),
    QT_TRANSLATE_NOOP("NetTexts", "connection reset by peer"),
    // TLS, ftp/: a server's reply and OpenSSL's own words stay as they came.
    QT_TRANSLATE_NOOP("NetTexts", "%1; the server says: %2"),
    QT_TRANSLATE_NOOP("NetTexts", "The server refuses %1: %2"),
    QT_TRANSLATE_NOOP("NetTexts", "The certificate of %1 has changed: remembered %2, presented %3"),
    QT_TRANSLATE_NOOP("NetTexts", "The certificate of %1 expired on %2"),
    QT_TRANSLATE_NOOP("NetTexts", "The certificate of %1 is not valid before %2"),
    QT_TRANSLATE_NOOP("NetTexts", "The data connection to %1:%2 ended without a TLS close: %3"),
    // The data connection's party and a refused way with its fallback.
    QT_TRANSLATE_NOOP("NetTexts",
                      "The data connection to %1 presented another certificate than "
                      "the server: %2 instead of %3; nothing was sent"),
    QT_TRANSLATE_NOOP("NetTexts", "PASV: %1; EPSV: %2"),
    // TLS, net/.
    QT_TRANSLATE_NOOP("NetTexts", "TLS handshake with %1 failed: %2"),
    QT_TRANSLATE_NOOP("NetTexts", "TLS handshake on the data connection to %1 failed: %2"),
    QT_TRANSLATE_NOOP("NetTexts", "TLS failed on the connection to %1: %2"),
    QT_TRANSLATE_NOOP("NetTexts", "TLS failed on the data connection to %1: %2"),
    QT_TRANSLATE_NOOP("NetTexts", "Cannot set up TLS: %1"),
    QT_TRANSLATE_NOOP("NetTexts", "the server closed the connection during the handshake"),
    QT_TRANSLATE_NOOP("NetTexts", "the server answered in clear: %1"),
    QT_TRANSLATE_NOOP("NetTexts", "the server closed the connection during the TLS close"),
    QT_TRANSLATE_NOOP("NetTexts", "the server ended TLS during the handshake"),
    QT_TRANSLATE_NOOP("NetTexts", "the server ended TLS during the TLS close"),
    QT_TRANSLATE_NOOP("NetTexts", "the handshake failed"),
    QT_TRANSLATE_NOOP("NetTexts", "the TLS close failed"),
    QT_TRANSLATE_NOOP("NetTexts", "receiving failed"),
    QT_TRANSLATE_NOOP("NetTexts", "sending failed"),
};

// The form as a pattern that matches a whole message and captures its parts.
QRegularExpression patternOf(const QString& form)
{
    static const QRegularExpression placeholder(QStringLiteral("%[1-9]"));
    QString pattern;
    qsizetype from = 0;
    for (auto match = placeholder.globalMatch(form); match.hasNext();) {
        const auto part = match.next();
        pattern += QRegularExpression::escape(form.mid(from, part.capturedStart() - from))
            + QStringLiteral("(.*?)");
        from = part.capturedEnd();
    }
    pattern += QRegularExpression::escape(form.mid(from));
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                              QRegularExpression::DotMatchesEverythingOption);
}

} // namespace

namespace nettexts {

QString translated(const QString& message)
{
    static const QList<QRegularExpression> patterns = [] {
        QList<QRegularExpression> list;
        for (const char* form : forms)
            list << patternOf(QString::fromLatin1(form));
        return list;
    }();
    for (qsizetype index = 0; index < patterns.size(); ++index) {
        const QRegularExpressionMatch match = patterns[index].match(message);
        if (!match.hasMatch())
            continue;
        const QString text = QCoreApplication::translate("NetTexts", forms[index]);
        // The parts of a form with several are translated as well: the cause inside "…
        // failed: %2" ("connection refused"), the message before "; the server says". A single
        // part is the other side's words (a greeting) and stays.
        const auto part = [&match](int number) { return translated(match.captured(number)); };
        switch (match.lastCapturedIndex()) {
        case 0: return text;
        case 1: return text.arg(match.captured(1));
        case 2: return text.arg(part(1), part(2));
        default: return text.arg(part(1), part(2), part(3));
        }
    }
    return message;
}

} // namespace nettexts
