// Benchmark tool: uploads files with the FTP client exactly as the send run does and
// prints the elapsed time and the process's CPU time.
//
//   ftpput --host H [--port P] --user U --password W --dir D [--mode auto|active|passive]
//          [--encoding auto|gbk|utf8] [--verify auto|off] [--temp-name] [--tls off|auto|require]
//          [--trust FILE] [--ticks] FILE...
//   ftpput --protocol sftp --host H [--port P] --user U [--password W] --dir D [--temp-name]
//          [--host-key FILE] [--ssh-folder DIR] [--ticks] FILE...
//
// --port defaults to 21, --mode, --encoding and --verify to auto. --verify auto checks each
// stored file by HASH (SHA-256 or SHA-1) when the server offers it, else by SIZE when it
// lists it; verified=N counts the files whose check matched (hash or size), unchecked=N
// the others. --temp-name stores each file as its name plus ".part" and renames it once
// checked; a file the server cannot check (SIZE or HASH not implemented) is "stored, not
// checked" and the next one follows. --tls auto (the default) uses TLS when the server
// accepts AUTH TLS, require refuses to log in without it. --trust FILE keeps the remembered
// certificate fingerprints, one line "host fingerprint" per host: a certificate the system
// does not trust must be the one remembered for the host, and is remembered on first
// contact; a host found there is "require" whatever --tls says (no login without TLS). --ticks runs
// a 10 ms timer in the same event loop during the uploads and prints the longest gap between its
// ticks. The session's name encoding, a fallback to active mode and a data connection from
// another host than the server's (refused) are noted on standard error. Exits non-zero with
// the error's message when an operation fails; a socket failure names its connection and
// address. The server's words are printed cleaned of control characters.
//
// --protocol sftp (ftp is the default) uploads over SSH: port 22 by default, a password
// login when --password is given, else the agent's or the user's keys (or those in
// --ssh-folder, which also holds the known_hosts that is consulted: ~/.ssh by default).
// --host-key FILE keeps the remembered host keys as --trust keeps certificates, one line
// "host:port SHA256:..." per server: a key that known_hosts does not hold must be the one
// remembered, and is remembered on first contact. --tls implicit speaks TLS from the first
// byte (port 990 by default).
//
// H is an IPv4 or IPv6 address ("::1", no brackets) or a host name; over IPv6 the client
// uses EPSV and EPRT.
#include "bench/common/ProcessTimes.h"
#include "ftp/FtpClient.h"
#include "ftp/SftpSession.h"
#include "platform/codepage.h"
#include "platform/printable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

namespace {

struct Options {
    Protocol protocol = Protocol::Ftp;
    QByteArray host;
    int port = 0; // 0: the protocol's own
    QByteArray user;
    QByteArray password;
    QString dir;
    TransferMode mode = TransferMode::Auto;
    EncodingChoice encoding = EncodingChoice::Auto;
    bool verify = true;
    bool tempName = false;
    TlsMode tls = TlsMode::Auto;
    QString trustFile;
    QString hostKeyFile;
    QString sshFolder;
    bool ticks = false;
    QStringList files;
};

void usage()
{
    std::fprintf(stderr,
                 "usage: ftpput --host H [--port P] --user U --password W --dir D "
                 "[--mode auto|active|passive] [--encoding auto|gbk|utf8] [--verify auto|off] "
                 "[--temp-name] [--tls off|auto|require|implicit] [--trust FILE] [--ticks] "
                 "FILE...\n"
                 "       ftpput --protocol sftp --host H [--port P] --user U [--password W] "
                 "--dir D [--temp-name] [--host-key FILE] [--ssh-folder DIR] [--ticks] FILE...\n");
}

std::optional<Options> parseArguments(const QStringList& arguments)
{
    Options options;
    const QHash<QString, TransferMode> modes{{"auto", TransferMode::Auto},
                                             {"active", TransferMode::Active},
                                             {"passive", TransferMode::Passive}};
    const QHash<QString, TlsMode> tlsModes{{"off", TlsMode::Off},
                                           {"auto", TlsMode::Auto},
                                           {"require", TlsMode::Require},
                                           {"implicit", TlsMode::Implicit}};
    const QHash<QString, Protocol> protocols{{"ftp", Protocol::Ftp}, {"sftp", Protocol::Sftp}};
    const QHash<QString, EncodingChoice> encodings{{"auto", EncodingChoice::Auto},
                                                   {"gbk", EncodingChoice::Gbk},
                                                   {"utf8", EncodingChoice::Utf8}};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--ticks")) {
            options.ticks = true;
            continue;
        }
        if (argument == QLatin1String("--temp-name")) {
            options.tempName = true;
            continue;
        }
        if (!argument.startsWith(QLatin1String("--"))) {
            options.files << argument;
            continue;
        }
        if (i + 1 >= arguments.size())
            return std::nullopt;
        const QString value = arguments[++i];
        if (argument == QLatin1String("--host")) {
            options.host = value.toLatin1();
        } else if (argument == QLatin1String("--port")) {
            bool ok = false;
            options.port = value.toInt(&ok);
            if (!ok || options.port <= 0 || options.port > 65535)
                return std::nullopt;
        } else if (argument == QLatin1String("--user")) {
            options.user = platform::toCodePage(value);
        } else if (argument == QLatin1String("--password")) {
            options.password = platform::toCodePage(value);
        } else if (argument == QLatin1String("--dir")) {
            options.dir = value;
        } else if (argument == QLatin1String("--mode") && modes.contains(value)) {
            options.mode = modes.value(value);
        } else if (argument == QLatin1String("--tls") && tlsModes.contains(value)) {
            options.tls = tlsModes.value(value);
        } else if (argument == QLatin1String("--trust")) {
            options.trustFile = value;
        } else if (argument == QLatin1String("--protocol") && protocols.contains(value)) {
            options.protocol = protocols.value(value);
        } else if (argument == QLatin1String("--host-key")) {
            options.hostKeyFile = value;
        } else if (argument == QLatin1String("--ssh-folder")) {
            options.sshFolder = value;
        } else if (argument == QLatin1String("--encoding") && encodings.contains(value)) {
            options.encoding = encodings.value(value);
        } else if (argument == QLatin1String("--verify")
                   && (value == QLatin1String("auto") || value == QLatin1String("off"))) {
            options.verify = value == QLatin1String("auto");
        } else {
            return std::nullopt;
        }
    }
    if (options.host.isEmpty())
        return std::nullopt;
    if (options.port == 0)
        options.port = options.protocol == Protocol::Sftp ? 22
            : options.tls == TlsMode::Implicit            ? 990
                                                          : 21;
    return options;
}

// The fingerprint remembered for the host in the trust file; empty when none.
QByteArray rememberedFingerprint(const QString& trustFile, const QByteArray& host)
{
    QFile file(trustFile);
    if (trustFile.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().simplified().split(' ');
        if (fields.size() == 2 && fields[0] == host)
            return fields[1];
    }
    return {};
}

// Says how the session is protected; a certificate seen for the first time is remembered.
void noteTls(const FtpClient& ftp, const Options& options)
{
    const TlsSessionInfo& tls = ftp.tlsSession();
    if (!tls.encrypted) {
        std::fprintf(stderr, "ftpput: in clear%s\n",
                     options.tls == TlsMode::Off ? "" : " (the server does not offer TLS)");
        return;
    }
    const char* trust = tls.trustedBySystem      ? "trusted by the system"
        : !ftp.rememberedFingerprint().isEmpty() ? "remembered"
        : options.trustFile.isEmpty()            ? "not remembered"
                                                 : "remembered now";
    std::fprintf(stderr, "ftpput: encrypted, %s, certificate %s (%s)\n", qPrintable(tls.protocol),
                 tls.fingerprint.constData(), trust);
    if (tls.trustedBySystem || !ftp.rememberedFingerprint().isEmpty()
        || options.trustFile.isEmpty())
        return;
    QFile file(options.trustFile);
    if (!file.open(QIODevice::Append)
        || file.write(options.host + ' ' + tls.fingerprint + '\n') < 0)
        std::fprintf(stderr, "ftpput: cannot write %s\n", qPrintable(options.trustFile));
}

// The line a server's remembered host key is kept under.
QByteArray hostKeyName(const Options& options)
{
    return options.host + ':' + QByteArray::number(options.port);
}

// Says who the SSH server proved to be; a key seen for the first time is remembered.
void noteHostKey(const SessionSecurity& security, const Options& options, bool remembered)
{
    const char* trust = security.trustedBySystem ? "in known_hosts"
        : remembered                             ? "remembered"
        : options.hostKeyFile.isEmpty()          ? "not remembered"
                                                 : "remembered now";
    std::fprintf(stderr, "ftpput: encrypted, SSH, host key %s (%s)\n",
                 security.fingerprint.constData(), trust);
    if (security.trustedBySystem || remembered || options.hostKeyFile.isEmpty())
        return;
    QFile file(options.hostKeyFile);
    if (!file.open(QIODevice::Append)
        || file.write(hostKeyName(options) + ' ' + security.fingerprint + '\n') < 0)
        std::fprintf(stderr, "ftpput: cannot write %s\n", qPrintable(options.hostKeyFile));
}

// What the upload loop asks of a session, whichever protocol it speaks.
struct Uploader {
    std::function<void()> connect;
    std::function<void(const QString& folder)> changeFolder;
    std::function<void(const QString& file, const QString& name)> upload;
    std::function<const UploadProgress&()> lastUpload;
    std::function<void()> disconnect;
};

Uploader ftpUploader(FtpClient& ftp, const Options& options)
{
    ftp.Host = options.host;
    ftp.Port = options.port;
    ftp.UserID = options.user;
    ftp.Password = options.password;
    ftp.Mode = options.mode;
    ftp.Encoding = options.encoding;
    ftp.VerifyUploads = options.verify;
    ftp.TempNames = options.tempName;
    ftp.setRememberedFingerprint(rememberedFingerprint(options.trustFile, options.host));
    // A host reached with TLS before never gets the password in clear.
    const bool remembered = !ftp.rememberedFingerprint().isEmpty();
    const bool implicit = options.tls == TlsMode::Implicit;
    ftp.setTlsMode(remembered && !implicit ? TlsMode::Require : options.tls);
    if (remembered && options.tls != TlsMode::Require && !implicit)
        std::fprintf(stderr, "ftpput: %s is remembered in %s: TLS required\n",
                     options.host.constData(), qPrintable(options.trustFile));
    ftp.OnModeFallback = [](const QString& reason) {
        std::fprintf(stderr, "ftpput: passive mode refused (%s); active mode from now on\n",
                     platform::printableText(reason).toLocal8Bit().constData());
    };
    ftp.OnDataCallerRefused = [](const QByteArray& address) {
        std::fprintf(stderr, "ftpput: data connection from %s refused: not the server\n",
                     address.constData());
    };
    return {[&ftp, &options] {
                ftp.Connect();
                noteTls(ftp, options);
                std::fprintf(stderr, "ftpput: names in %s\n",
                             qPrintable(ftp::encodingName(ftp.sessionEncoding())));
            },
            [&ftp](const QString& folder) {
                ftp.ChangeDir(folder);
                ftp.SetTransferType(3);
            },
            [&ftp](const QString& file, const QString& name) { ftp.Upload(file, name); },
            [&ftp]() -> const UploadProgress& { return ftp.lastUpload(); },
            [&ftp] { ftp.Disconnect(); }};
}

Uploader sftpUploader(SftpSession& sftp, const Options& options)
{
    sftp.setSshFolder(options.sshFolder);
    sftp.setLimits(ftp::defaultIdleLimitMs, ftp::defaultIdleLimitMs);
    SessionSettings settings;
    settings.protocol = Protocol::Sftp;
    settings.host = QString::fromLatin1(options.host);
    settings.port = quint16(options.port);
    settings.user = platform::fromCodePage(options.user);
    settings.password = platform::fromCodePage(options.password);
    settings.tempNames = options.tempName;
    settings.rememberedIdentity = rememberedFingerprint(options.hostKeyFile, hostKeyName(options));
    return {[&sftp, &options, settings] {
                sftp.open(settings);
                noteHostKey(sftp.security(), options, !settings.rememberedIdentity.isEmpty());
            },
            [&sftp](const QString& folder) { sftp.changeFolder(folder); },
            [&sftp](const QString& file, const QString& name) { sftp.upload(file, name); },
            [&sftp]() -> const UploadProgress& { return sftp.lastUpload(); },
            [&sftp] { sftp.close(); }};
}

// An error as one printable line; a socket failure names its connection and address, as the
// window does ("data connection 127.0.0.1:40123 failed: ...").
QByteArray errorLine(const std::exception& error)
{
    const auto* exception = dynamic_cast<const platform::Exception*>(&error);
    QString text = exception ? exception->message() : QString::fromLocal8Bit(error.what());
    const auto* socketError = dynamic_cast<const SocketError*>(&error);
    if (socketError && socketError->endpoint()) {
        const SocketEndpoint& endpoint = *socketError->endpoint();
        const QString where =
            QStringLiteral("%1:%2").arg(QString::fromLatin1(endpoint.address)).arg(endpoint.port);
        if (!text.contains(where))
            text = QStringLiteral("%1 %2 failed: %3")
                       .arg(endpoint.role == SocketEndpoint::Role::Data
                                ? QStringLiteral("data connection")
                                : QStringLiteral("connection"),
                            where, text);
    }
    return platform::printableText(text).toLocal8Bit();
}

// The remote name of a notice: its file name lower-cased with ASCII rules.
QString remoteNameOf(const QString& path)
{
    QString name = QFileInfo(path).fileName();
    for (QChar& c : name) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return name;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::optional<Options> options = parseArguments(app.arguments());
    if (!options) {
        usage();
        return 2;
    }

    std::unique_ptr<FtpClient> ftp;
    std::unique_ptr<SftpSession> sftp;
    Uploader session;
    if (options->protocol == Protocol::Sftp) {
        sftp = std::make_unique<SftpSession>();
        session = sftpUploader(*sftp, *options);
    } else {
        ftp = std::make_unique<FtpClient>();
        session = ftpUploader(*ftp, *options);
    }

    QElapsedTimer tickClock;
    qint64 lastTick = -1;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = tickClock.nsecsElapsed();
        if (lastTick >= 0)
            longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
    });

    qint64 bytes = 0;
    qint64 verified = 0;
    double connectCpu = 0;
    qint64 connectMs = 0;
    QElapsedTimer clock;
    clock.start();
    try {
        const double before = bench::cpuMilliseconds();
        session.connect();
        connectCpu = bench::cpuMilliseconds() - before;
        connectMs = clock.elapsed();
        session.changeFolder(options->dir);
        if (options->ticks) {
            tickClock.start();
            lastTick = 0;
            ticker.start();
        }
        for (const QString& file : options->files) {
            session.upload(file, remoteNameOf(file));
            bytes += QFileInfo(file).size();
            const UploadProgress& upload = session.lastUpload();
            if (upload.verification != Verification::NotChecked)
                ++verified;
            else if (!upload.uncheckedReply.isEmpty())
                std::fprintf(stderr, "ftpput: %s stored, not checked: %s\n", qPrintable(file),
                             upload.uncheckedReply.toLocal8Bit().constData());
        }
        if (options->ticks) {
            // The gap up to the end of the uploads counts too.
            longestGap = std::max(longestGap, tickClock.nsecsElapsed() - lastTick);
            ticker.stop();
        }
        session.disconnect();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ftpput: %s\n", errorLine(error).constData());
        return 1;
    }

    const double seconds = clock.nsecsElapsed() / 1e9;
    std::printf(
        "elapsed_s=%.6f cpu_ms=%.1f connect_ms=%lld connect_cpu_ms=%.1f files=%lld bytes=%lld",
        seconds, bench::cpuMilliseconds(), static_cast<long long>(connectMs), connectCpu,
        static_cast<long long>(options->files.size()), static_cast<long long>(bytes));
    std::printf(" verified=%lld unchecked=%lld", static_cast<long long>(verified),
                static_cast<long long>(options->files.size() - verified));
    if (options->ticks)
        std::printf(" longest_tick_gap_ms=%.1f", longestGap / 1e6);
    std::printf("\n");
    return 0;
}
