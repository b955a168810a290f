// Temporary user folders through the variables the program reads.
#include "tests/support/UserFolders.h"

#include <QDir>
#include <QFile>

namespace testsupport {

namespace {

const char* const variables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"};

} // namespace

UserFolders::UserFolders()
{
    QDir().mkpath(home());
    const QString values[] = {home(), config(), state()};
    for (int i = 0; i < 3; ++i) {
        m_saved << qgetenv(variables[i]);
        qputenv(variables[i], QFile::encodeName(values[i]));
    }
}

UserFolders::~UserFolders()
{
    for (int i = 0; i < 3; ++i) {
        if (m_saved[i].isEmpty())
            qunsetenv(variables[i]);
        else
            qputenv(variables[i], m_saved[i]);
    }
}

} // namespace testsupport
