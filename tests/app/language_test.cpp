// The English and the Chinese UI: every text a reader sees is translated, the wire is not.
#include "WindowFixture.h"

#include "app/FailureTexts.h"
#include "app/Language.h"
#include "app/LineValues.h"
#include "app/PasswordDialog.h"
#include "app/RunTexts.h"
#include "controls/labels/CustomLabel.h"
#include "platform/application.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "tests/support/ScopedVariable.h"
#include "tests/support/ScriptedFtpPeer.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTranslator>
#include <QXmlStreamReader>

#include <cerrno>

#include <gtest/gtest.h>

#include <optional>

namespace {

const QRegularExpression cjk(QStringLiteral("[\\x{2605}\\x{2606}\\x{3000}-\\x{303f}"
                                            "\\x{4e00}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));

// Installs one language's translations for the test's duration (the test main loads none).
class LanguageTest : public WindowTest {
protected:
    void load(const QString& name)
    {
        ASSERT_TRUE(m_translator.load(QStringLiteral(":/i18n/zarvel_%1.qm").arg(name)));
        QCoreApplication::installTranslator(&m_translator);
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        QCoreApplication::removeTranslator(&m_translator);
    }

    QTranslator m_translator;
};

// Every text of the window a reader can see.
QStringList visibleTexts(const QWidget& form)
{
    QStringList texts{form.windowTitle()};
    for (const auto* label : form.findChildren<QLabel*>())
        texts << label->text();
    for (const auto* button : form.findChildren<QAbstractButton*>())
        texts << button->text();
    for (const auto* box : form.findChildren<QGroupBox*>())
        texts << box->title();
    // The labels have no meta-object of their own, so qobject_cast cannot find them.
    for (const auto* widget : form.findChildren<QWidget*>())
        if (const auto* label = dynamic_cast<const CustomLabel*>(widget))
            texts << label->Caption();
    for (const auto* edit : form.findChildren<QTextEdit*>())
        texts << edit->toPlainText();
    for (const auto* pages : form.findChildren<QTabWidget*>())
        for (int page = 0; page < pages->count(); ++page)
            texts << pages->tabText(page);
    for (const auto* table : form.findChildren<QTableWidget*>())
        for (int row = 0; row < table->rowCount(); ++row)
            for (int column = 0; column < table->columnCount(); ++column)
                if (const QTableWidgetItem* item = table->item(row, column))
                    texts << item->text();
    return texts;
}

QStringList runTexts()
{
    using namespace runtexts;
    const SocketError refused("refused", SocketFailure::Refused,
                              SocketEndpoint{SocketEndpoint::Role::Data, "127.0.0.1", 2121});
    return {headerLine(3),
            stationStartLine("A"),
            uncertainOptionsLine(),
            encryptionRefusedLine(),
            loginNotOneLineCause(),
            lineBreakRefusedMessage(),
            successLine(),
            networkErrorLine(),
            stoppedLine(),
            endLine(),
            overCapacityLine(1, 100),
            missingFileLine("a"),
            unreadableFileLine("a"),
            lineBreakNameLine("a"),
            fileStoredLine("a", 1, Verification::Size),
            fileStoredLine("a", 1, Verification::NotChecked),
            fileNotDeliveredLine("a", 1),
            fileNotRenamedLine("a", 1),
            fileStoredLine("a", 1, Verification::Hash, "SHA-256"),
            fileNote("A", "a", 1, Verification::Size),
            fileNote("A", "a", 1, Verification::Hash, "SHA-1", "a.part"),
            failedCheckNote("A", "a", 1, Verification::Size),
            sizeMismatchCause(2, 1),
            sizeUnknownCause("550 No"),
            hashMismatchCause("SHA-256"),
            hashUnknownCause("SHA-256", "502 No"),
            fileNotSentLine("a", cannotOpenReason()),
            fileIncompleteLine("a", 1, 2),
            fileIncompleteLine("a", 1, 2, "a.part"),
            sameRemoteNameLine({"A", "a"}, "a"),
            folderEscapeNameLine(".."),
            fileUncheckedLine("a", 1, "502 No"),
            unfinishedLine(1, 2),
            dataCallerRefusedLine("127.0.0.2"),
            closedLine(),
            nameNotEncodableReason("a", "GBK"),
            socketCause(refused, 60000),
            emptyAddressCause(),
            folderNotEncodableCause("GBK"),
            lookupFailedCause("a"),
            nameEncodingLine("GBK"),
            modeFallbackLine(FallbackReason(platform::reason(FtpCode::ServerReply, {"502"}))),
            stoppingLine(),
            retryLine(),
            logFileFailedLine("a", "b"),
            stationNote("127.0.0.1", 21, "u"),
            encryptedLine("TLS 1.3"),
            notEncryptedLine(TlsMode::Auto),
            notEncryptedLine(TlsMode::Off),
            certificateRememberedLine("AB:CD"),
            certificateChangedCause("AB:CD", "EF:01"),
            securityNote("A", {}),
            securityNote("A", {.encrypted = true, .protocol = "TLS 1.3", .fingerprint = "AB"}),
            securityNote("A",
                         {.encrypted = true,
                          .protocol = "TLS 1.2",
                          .fingerprint = "AB",
                          .trustedBySystem = true})};
}

TEST_F(LanguageTest, EnglishShowsNoChineseCharacters)
{
    load("en");
    MainWindow& form = open();
    openGrid();
    EXPECT_EQ(form.windowTitle(), "Zarvel   version 0.0.1");
    // The fixed window shows the longer English texts whole (push buttons keep a minimum width
    // in their size hint, so only labels and radio buttons tell).
    for (const QWidget* widget : form.findChildren<QWidget*>()) {
        const auto* label = qobject_cast<const QLabel*>(widget);
        const auto* radio = qobject_cast<const QRadioButton*>(widget);
        const QString text = label ? label->text() : radio ? radio->text() : QString();
        if (!text.isEmpty() && !(label && label->wordWrap())) {
            EXPECT_LE(widget->sizeHint().width(), widget->width()) << text.toStdString();
        }
    }
    QStringList texts = visibleTexts(form) + runTexts();
    // The hints name the English captions of the page and the button they point to.
    const QString settingsPage = child<QTabWidget>("pages")->tabText(2);
    const QString hint = child<QLabel>("emptyNoticeHint")->text();
    EXPECT_TRUE(hint.contains(settingsPage)
                && hint.contains(child<QRadioButton>("localFolderButton")->text()))
        << hint.toStdString();
    EXPECT_TRUE(child<QLabel>("noFolderHint")->text().contains(settingsPage));
    // The password dialog, refusing a mismatch.
    PasswordDialog dialog(&form);
    dialog.findChild<QLineEdit*>("newPasswordEdit")->setText("a");
    dialog.accept();
    texts << dialog.windowTitle() << visibleTexts(dialog);
    texts << platform::errorBoxText(
        QCoreApplication::translate("NoticeText", "不是文本文件，无法预览"));
    for (const QString& text : texts)
        EXPECT_FALSE(text.contains(cjk)) << text.toStdString();
    EXPECT_EQ(runtexts::socketCause(
                  SocketError("x", SocketFailure::Refused,
                              SocketEndpoint{SocketEndpoint::Role::Control, "127.0.0.3", 21}),
                  60000),
              "Connection to 127.0.0.3:21 failed: connection refused");
}

// The window shows the platform's messages in its language; their English message, the one the
// command-line tool prints, stays whatever the language.
TEST_F(LanguageTest, ThePlatformMessagesReachTheReaderInItsLanguage)
{
    struct Row {
        const char* language;
        QString denied;
        QString beyondEnd;
        QString unknown;
    };
    const Row rows[] = {
        {"zh_CN", "文件拒绝访问。", "读取超出文件末尾。", "未知异常。"},
        {"en", "File access denied.", "Read beyond end of file.", "Unknown exception."}};
    for (const Row& row : rows) {
        load(row.language);
        QStringList messages;
        const auto show = [&](void (*raise)()) {
            platform::guarded([&] {
                try {
                    raise();
                } catch (const platform::InOutError& error) {
                    messages << error.message();
                    throw;
                }
            });
        };
        m_errors.clear();
        show([] { platform::raiseInOutError(EACCES); });
        show(platform::raiseReadBeyondEnd);
        platform::guarded([] { throw 1; });
        EXPECT_EQ(m_errors, (QStringList{row.denied, row.beyondEnd, row.unknown})) << row.language;
        EXPECT_EQ(messages, (QStringList{"File access denied", "Read beyond end of file"}));
        QCoreApplication::removeTranslator(&m_translator);
    }
    // The Chinese source texts stay as they are.
    load("zh_CN");
    EXPECT_EQ(runtexts::successLine(),
              QStringLiteral("++++++++++++++++++++++++++      传送成功！"));
}

TEST(LanguageChoiceTest, LanguageVariableFirstThenTheLocale)
{
    struct Row {
        const char* variable;
        QString language;
    };
    const QString fromLocale = QLocale::system().language() == QLocale::Chinese
        ? QStringLiteral("zh_CN")
        : QStringLiteral("en");
    const Row rows[] = {{.variable = "zh_CN", .language = "zh_CN"},
                        {.variable = "zh_TW:en", .language = "zh_CN"},
                        {.variable = "en", .language = "en"},
                        {.variable = "de_DE:zh_CN", .language = "en"},
                        {.variable = "", .language = fromLocale}};
    for (const Row& row : rows) {
        const testsupport::ScopedVariable language("LANGUAGE", row.variable);
        EXPECT_EQ(language::chosen(), row.language) << row.variable;
    }
}

// Every message of the English catalogue has a finished translation with the same
// placeholders and no Chinese; the Chinese one is empty, Chinese being the source language.
TEST(TranslationFilesTest, EveryMessageIsTranslated)
{
    for (const QString& language : {QStringLiteral("en"), QStringLiteral("zh_CN")}) {
        QFile file(QStringLiteral(ZARVEL_TRANSLATIONS "/zarvel_%1.ts").arg(language));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        QXmlStreamReader xml(&file);
        QString source;
        int messages = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"source") {
                source = xml.readElementText();
            } else if (xml.name() == u"translation") {
                ++messages;
                const bool unfinished = xml.attributes().hasAttribute(QStringLiteral("type"));
                const QString translation = xml.readElementText();
                EXPECT_FALSE(unfinished) << source.toStdString();
                EXPECT_FALSE(translation.isEmpty()) << source.toStdString();
                EXPECT_EQ(translation.count(u'%'), source.count(u'%')) << source.toStdString();
                if (language == u"en") {
                    EXPECT_FALSE(translation.contains(cjk)) << translation.toStdString();
                }
            }
        }
        EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
        if (language == u"en") {
            EXPECT_GT(messages, 10);
        } else {
            EXPECT_EQ(messages, 0);
        }
    }
}

} // namespace

// The network and FTP layers' own English messages, where they reach the pane as a cause,
// are Chinese in the Chinese UI; what a server sent stays as it came.
TEST_F(LanguageTest, NetAndFtpMessagesReachTheReaderInItsLanguage)
{
    testsupport::ScriptedFtpPeer peer;
    peer.send("HTTP/1.1 400 Bad Request\r\n");
    peer.start();
    FtpClient client;
    client.Host = peer.address();
    client.Port = peer.port();
    std::optional<SocketError> notFtp;
    try {
        client.Connect();
    } catch (const SocketError& error) {
        notFtp = error;
    }
    ASSERT_TRUE(notFtp && notFtp->reason());
    const QString port = QString::number(peer.port());

    using platform::reason;
    const auto openSsl = [](const char* words) {
        return reason(NetCode::OpenSslWords, {QString::fromLatin1(words)});
    };
    struct Row {
        platform::ReasonPtr cause;
        QString chinese;
    };
    const Row rows[] = {
        {.cause = notFtp->reason(), .chinese = "    不是 FTP 服务器：HTTP/1.1 400 Bad Request"},
        {.cause = reason(NetCode::NotConnected), .chinese = "    未连接"},
        {.cause = reason(
             NetCode::ConnectionFailed,
             {"127.0.0.1:" + port, reason(NetCode::AddressInUse, {"address already in use"})}),
         .chinese = "    连接 127.0.0.1:" + port + " 失败：地址已被占用"},
        {.cause = reason(FtpCode::PassiveAddressUnreadable, {"227 (1,2)"}),
         .chinese = "    无法从回应中读出被动模式的地址：227 (1,2)"},
        // A server's reply, and a greeting inside a message, are not ours to translate.
        {.cause = reason(FtpCode::ServerReply, {"550 Not Connected"}),
         .chinese = "    550 Not Connected"},
        {.cause = reason(FtpCode::NotFtpServer, {"timed out"}),
         .chinese = "    不是 FTP 服务器：timed out"},
        // TLS: OpenSSL's own words and the server's reply stay as they came.
        {.cause =
             reason(NetCode::TlsHandshakeFailed, {"127.0.0.1:21", openSsl("wrong version number")}),
         .chinese = "    与 127.0.0.1:21 的 TLS 握手失败：wrong version number"},
        {.cause = reason(NetCode::TlsHandshakeFailed,
                         {"127.0.0.1:21", reason(NetCode::ClosedInHandshake)}),
         .chinese = "    与 127.0.0.1:21 的 TLS 握手失败：服务器在握手时关闭了连接"},
        {.cause =
             reason(NetCode::TlsHandshakeFailed,
                    {"127.0.0.1:990", reason(NetCode::AnsweredInClear, {"220 Not Connected"})}),
         .chinese = "    与 127.0.0.1:990 的 TLS 握手失败：服务器未加密应答：220 Not Connected"},
        // SFTP: the session's words translated, the server's kept.
        {.cause = reason(FtpCode::WrongPassword, {"clerk", "publickey, password"}),
         .chinese =
             "    用户 clerk 登录被拒绝：用户名或密码错误（服务器接受：publickey, password）"},
        {.cause = reason(FtpCode::ChangeFolderRefused, {"in/out", reason(FtpCode::NotAFolder)}),
         .chinese = "    无法进入目录 in/out：不是目录"},
        {.cause = reason(FtpCode::RenameRefused, {"a.txt", "a.txt", "Permission denied"}),
         .chinese = "    无法把 a.txt.part 改名为 a.txt：Permission denied"},
        {.cause = reason(FtpCode::Refuses, {"AUTH TLS", "500 Unknown command."}),
         .chinese = "    服务器拒绝 AUTH TLS：500 Unknown command."},
        {.cause = reason(FtpCode::ServerSays,
                         {reason(NetCode::DataTlsHandshakeFailed,
                                 {"127.0.0.1:5", openSsl("unexpected eof while reading")}),
                          "522 SSL session reuse required"}),
         .chinese = "    到 127.0.0.1:5 的数据连接 TLS 握手失败：unexpected eof while "
                    "reading；服务器说：522 SSL session reuse required"},
        {.cause = reason(
             FtpCode::DataEndedWithoutTlsClose,
             {"127.0.0.1", "5", reason(NetCode::ConnectionReset, {"connection reset by peer"})}),
         .chinese = "    到 127.0.0.1:5 的数据连接未经 TLS 关闭就断开了：连接被对方重置"},
        {.cause = reason(FtpCode::CertificateExpired, {"127.0.0.1", "2020-01-31 12:00 UTC"}),
         .chinese = "    127.0.0.1 的证书已于 2020-01-31 12:00 UTC 过期"}};
    const SocketError other(notFtp->reason(), SocketFailure::Other,
                            SocketEndpoint{SocketEndpoint::Role::Control, "127.0.0.1", 21});
    const FallbackReason refusedData(
        reason(NetCode::DataConnectionFailed,
               {"127.0.0.1:5", reason(NetCode::ConnectionRefused, {"connection refused"})}));
    for (const char* name : {"zh_CN", "en"}) {
        load(name);
        const bool chinese = QString::fromLatin1(name) == u"zh_CN";
        for (const Row& row : rows)
            EXPECT_EQ(runtexts::causeLine(failuretexts::text(*row.cause)),
                      chinese ? row.chinese : "    " + row.cause->englishText())
                << name;
        EXPECT_EQ(runtexts::socketCause(other, 60000),
                  chinese ? QStringLiteral(
                      "连接 127.0.0.1:21 失败：不是 FTP 服务器：HTTP/1.1 400 Bad Request")
                          : "Connection to 127.0.0.1:21 failed: " + notFtp->message());
        EXPECT_EQ(runtexts::modeFallbackLine(refusedData),
                  chinese
                      ? QStringLiteral("    改用主动模式：数据连接 127.0.0.1:5 失败：连接被拒绝")
                      : "    Switching to active mode: Data connection to 127.0.0.1:5 failed: "
                        "connection refused");
        QCoreApplication::removeTranslator(&m_translator);
    }
}
