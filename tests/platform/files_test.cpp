// Program folder seam, text and record file reading, atomic saves and the error messages.
#include "platform/exception.h"
#include "platform/files.h"
#include "tests/support/TempTree.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

template <typename Action>
QString inOutMessage(Action&& action)
{
    try {
        action();
    } catch (const platform::InOutError& error) {
        return error.message();
    }
    return QStringLiteral("<no error>");
}

} // namespace

TEST(TextLines, FollowTheCarriageReturnRules)
{
    using Lines = QList<QByteArray>;
    EXPECT_EQ(platform::splitTextLines("a\r\nb\r\nc\r\n", 3), (Lines{"a", "b", "c"}));
    // A lone CR ends a line too; an LF after it is skipped only directly after it.
    EXPECT_EQ(platform::splitTextLines("a\rb\r\n\nc", 3), (Lines{"a", "b", "\nc"}));
    // LF alone ends nothing: all in line 1.
    EXPECT_EQ(platform::splitTextLines("x\ny\nz\n", 3), (Lines{"x\ny\nz\n", "", ""}));
    // Ctrl-Z ends the text, also in the middle of a line.
    EXPECT_EQ(platform::splitTextLines("ab\x1A"
                                       "cd\r\nef\r\n",
                                       3),
              (Lines{"ab", "", ""}));
    // Missing lines read as empty; blanks are kept; later lines are not read.
    EXPECT_EQ(platform::splitTextLines(" p \r\n", 3), (Lines{" p ", "", ""}));
    EXPECT_EQ(platform::splitTextLines("", 3), (Lines{"", "", ""}));
    EXPECT_EQ(platform::splitTextLines("1\r\n2\r\n3\r\n4\r\n", 3), (Lines{"1", "2", "3"}));
    EXPECT_EQ(platform::splitTextLines("\r\n\r\nlast", 3), (Lines{"", "", "last"}));
}

TEST(Files, ReadLinesRecordsAndReportMissingOrUnreadableFiles)
{
    testsupport::TempTree dir;
    const QString text = dir.addFile("t.cfg", "one\r\ntwo");
    EXPECT_EQ(platform::readTextLines(text, 3), (QList<QByteArray>{"one", "two", ""}));
    // Only the start of a file is read when that is all a caller needs.
    const QString big = dir.addFile("big.txt", QByteArray(200000, 'x') + "end");
    EXPECT_EQ(platform::readFileStart(big, 70000), QByteArray(70000, 'x'));
    EXPECT_EQ(platform::readFileStart(text, 70000), QByteArray("one\r\ntwo"));

    const QString records =
        dir.addFile("r.cfg", QByteArray(68, 'a') + QByteArray(68, 'b') + QByteArray(67, 'c'));
    const auto read = platform::readRecords(records, 68);
    ASSERT_EQ(read.size(), 2);
    EXPECT_EQ(read[1], QByteArray(68, 'b'));

    // A read-only file is still read: nothing asks for write access.
    ::chmod(QFile::encodeName(records).constData(), 0444);
    EXPECT_EQ(platform::readRecords(records, 68).size(), 2);

    EXPECT_EQ(inOutMessage([&] { platform::readTextLines(dir.path("none.cfg"), 3); }),
              "File not found");
    EXPECT_EQ(inOutMessage([&] { platform::readRecords(dir.path("no/such.cfg"), 68); }),
              "File not found");
    // A folder in place of the file cannot be read, whoever runs this.
    dir.addFolder("folder.cfg");
    EXPECT_EQ(inOutMessage([&] { platform::readRecords(dir.path("folder.cfg"), 68); }),
              "File access denied");
    if (::geteuid() != 0) {
        ::chmod(QFile::encodeName(text).constData(), 0);
        EXPECT_EQ(inOutMessage([&] { platform::readTextLines(text, 3); }), "File access denied");
    }
    EXPECT_TRUE(platform::fileExists(text));
    EXPECT_TRUE(platform::fileExists(dir.path("folder.cfg")));
    EXPECT_FALSE(platform::fileExists(dir.path("none.cfg")));
}

TEST(Files, AtomicSaveReplacesWholeOrNotAtAll)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Addf.cfg");
    platform::saveFileAtomically(path, "first");
    EXPECT_EQ(readBytes(path), "first");
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "a new settings file is for its owner only";

    // An existing file keeps its permissions and gets the new content.
    ::chmod(QFile::encodeName(path).constData(), 0640);
    platform::saveFileAtomically(path, "second");
    EXPECT_EQ(readBytes(path), "second");
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    // A folder where the file should go: the save fails and nothing is left behind.
    QDir(dir.path()).mkdir("Dirt.cfg");
    EXPECT_EQ(inOutMessage([&] { platform::saveFileAtomically(dir.filePath("Dirt.cfg"), "x"); }),
              "File access denied");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{"Addf.cfg", "Dirt.cfg"}));

    EXPECT_EQ(inOutMessage([&] { platform::saveFileAtomically(dir.filePath("gone/x.cfg"), "x"); }),
              "File not found");
    if (::geteuid() != 0) {
        ::chmod(QFile::encodeName(dir.path()).constData(), 0500);
        EXPECT_EQ(inOutMessage([&] { platform::saveFileAtomically(path, "third"); }),
                  "File access denied");
        ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
        EXPECT_EQ(readBytes(path), "second");
    }
}

TEST(Files, ErrorNumbersBecomeTheMessagesUsersKnow)
{
    EXPECT_EQ(inOutMessage([] { platform::raiseInOutError(ENOSPC); }), "Disk full");
    EXPECT_EQ(inOutMessage([] { platform::raiseInOutError(EIO); }), "I/O error 5");
    EXPECT_EQ(inOutMessage([] { platform::raiseInOutError(EROFS); }), "File access denied");
    EXPECT_EQ(inOutMessage([] { platform::raiseReadBeyondEnd(); }), "Read beyond end of file");
}

TEST(Files, ProgramFolderFollowsTheSeam)
{
    const QString original = platform::programFolder();
    EXPECT_TRUE(original.endsWith('/'));
    QTemporaryDir dir;
    platform::setProgramFolder(dir.path());
    EXPECT_EQ(platform::programFolder(), dir.path() + '/');
    platform::setProgramFolder({});
    EXPECT_EQ(platform::programFolder(), original);
}
