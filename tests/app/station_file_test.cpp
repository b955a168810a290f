// The station file's records and the rules of a grid save, without a window.
#include "app/StationFile.h"

#include "WindowFixture.h"
#include "platform/codepage.h"
#include "tests/support/QtPrinters.h"

#include <QFile>
#include <QTemporaryDir>

#include "SettingsFileTest.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

void PrintTo(const Station& station, std::ostream* out)
{
    *out << QStringList{station.name, station.address, station.user, station.password}
                .join(u'|')
                .toStdString();
}

namespace {

QByteArray gbk(const QString& text)
{
    return platform::toCodePage(text);
}

class StationFileTest : public SettingsFileTest {
protected:
    StationFileTest()
        : SettingsFileTest(QStringLiteral("Addf.cfg"))
    {
    }
};

} // namespace

TEST_F(StationFileTest, StationsRoundTripAsLengthPrefixedGbkFields)
{
    // No value is shorter than the one above it, so no leftovers follow.
    const QList<Station> stations = {
        {.name = "b", .address = "1.2.3.4", .user = "", .password = "pw"},
        {.name = QStringLiteral("总部"),
         .address = "127.0.0.2",
         .user = "clerk",
         .password = QStringLiteral("口令")},
    };
    StationFile(path()).save(stations);
    EXPECT_EQ(read(),
              hostRecord("b", "1.2.3.4", "", "pw")
                  + hostRecord(gbk(QStringLiteral("总部")), "127.0.0.2", "clerk",
                               gbk(QStringLiteral("口令"))));
    EXPECT_EQ(StationFile(path()).load(), stations);

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the file holds passwords";

    StationFile(path()).save({});
    EXPECT_EQ(read(), QByteArray()) << "no station, an empty file";

    // A file that another program left readable by others becomes owner-only at a save.
    ASSERT_TRUE(
        QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    StationFile(path()).save(stations);
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // A password ending in a lone GBK lead byte keeps all its bytes: loaded, sent, saved.
    for (const QByteArray& password : {QByteArray("pw\x81"), QByteArray("\xBF\xDA\xFE")}) {
        const QByteArray record = hostRecord("a", "1.1.1.1", "u", password);
        write(record);
        const QList<Station> loaded = StationFile(path()).load();
        EXPECT_EQ(platform::toCodePage(loaded.value(0).password), password) << "as sent";
        StationFile(path()).save(loaded);
        EXPECT_EQ(read(), record);
    }
}

TEST_F(StationFileTest, LoadTakesCompleteRecordsAndClampsDamagedLengths)
{
    EXPECT_TRUE(StationFile(path()).load().isEmpty()) << "no file";

    write(QByteArray(67, 'x'));
    EXPECT_TRUE(StationFile(path()).load().isEmpty()) << "no complete record";

    // A length byte above 16 reads as 16 and does not reach into the next field; the bytes
    // of an incomplete last record are never read.
    QByteArray damaged = hostRecord("", "10.0.0.4", "x", "y");
    damaged[0] = char(200);
    damaged.replace(1, 16, "ABCDEFGHIJKLMNOP");
    write(hostRecord("a", "1.1.1.1", "u", "p") + damaged + QByteArray(40, 'z'));
    ::chmod(QFile::encodeName(path()).constData(), 0444);
    EXPECT_EQ(
        StationFile(path()).load(),
        (QList<Station>{
            {.name = "a", .address = "1.1.1.1", .user = "u", .password = "p"},
            {.name = "ABCDEFGHIJKLMNOP", .address = "10.0.0.4", .user = "x", .password = "y"}}))
        << "a read-only file loads";
}

TEST_F(StationFileTest, LongValuesAreCutAtACharacterBoundaryAndShorterOnesKeepLeftovers)
{
    const struct {
        QString name;
        QByteArray stored; // length byte and value of the name field
    } rows[] = {
        {.name = "0123456789abcdefXYZ",
         .stored = "\x10"
                   "0123456789abcdef"},
        // Nine Chinese characters, 18 bytes: the first eight.
        {.name = QStringLiteral("九个汉字的站点名称呀"),
         .stored = "\x10" + gbk(QStringLiteral("九个汉字的站点名"))},
        // 1 + 18 bytes: the 16th byte would be a lone lead byte, so 15 are kept.
        {.name = QStringLiteral("a九个汉字的站点名称"),
         .stored = "\x0F" + gbk(QStringLiteral("a九个汉字的站点"))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        StationFile(path()).save({{.name = row.name, .address = "1.1.1.1"}});
        EXPECT_EQ(read().left(row.stored.size()), row.stored);
    }

    // One buffer serves the whole save: a shorter value is followed by what the record
    // before it held there.
    const QString longName = QStringLiteral("九个汉字的站点名称呀");
    StationFile(path()).save(
        {{.name = longName, .address = "1.1.1.1"}, {.name = "a", .address = "2.2.2.2"}});
    const QByteArray saved = read();
    ASSERT_EQ(saved.size(), 2 * 68);
    EXPECT_EQ(saved.mid(68, 2),
              QByteArray("\x01"
                         "a"));
    EXPECT_EQ(saved.mid(70, 15), gbk(longName).mid(1, 15));
    EXPECT_EQ(StationFile(path()).load().value(1).name, "a");
}

TEST(GridRules, PlusCopiesTheCellAboveAndRowsWithoutAddressAreLeftOut)
{
    const Station plusRow{.name = "+", .address = "+", .user = "+", .password = "+"};
    QList<Station> rows = {
        {.name = "+",
         .address = "127.0.0.2",
         .user = "clerk",
         .password = "pw"}, // nothing above: kept
        {.name = "second", .address = "+", .user = "+", .password = "other"},
        plusRow,                                         // "+" under "+"
        {.name = "dropped", .address = "", .user = "+"}, // left out as it is
        {.name = "blank", .address = " "},
        {.name = "+", .address = "9.9.9.9", .user = "u"}, // under a left-out row
        {},
    };
    const QList<Station> kept = applyGridRules(rows);
    const Station second{
        .name = "second", .address = "127.0.0.2", .user = "clerk", .password = "other"};
    const Station last{.name = "blank", .address = "9.9.9.9", .user = "u"};
    EXPECT_EQ(kept, (QList<Station>{rows[0], second, second, last}));
    EXPECT_EQ(
        rows,
        (QList<Station>{{.name = "+", .address = "127.0.0.2", .user = "clerk", .password = "pw"},
                        second,
                        second,
                        {.name = "dropped", .address = "", .user = "+"},
                        {.name = "blank", .address = " "},
                        last,
                        {}}))
        << "the replacements are made in the rows themselves";
}
