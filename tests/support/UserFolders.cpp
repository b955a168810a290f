// Temporary user folders through the variables the program reads.
#include "tests/support/UserFolders.h"

#include <QDir>
#include <QFile>

namespace testsupport {

UserFolders::UserFolders()
{
    QDir().mkpath(home());
    const std::pair<const char*, QString> variables[] = {
        {"HOME", home()}, {"XDG_CONFIG_HOME", config()}, {"XDG_STATE_HOME", state()}};
    for (const auto& [name, folder] : variables)
        m_variables.push_back(std::make_unique<ScopedVariable>(name, QFile::encodeName(folder)));
}

UserFolders::~UserFolders() = default;

} // namespace testsupport
