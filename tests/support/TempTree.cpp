// Temporary folder trees and files for tests.
#include "tests/support/TempTree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace testsupport {

TempTree::TempTree()
    : m_root(QFileInfo(m_dir.path()).canonicalFilePath())
{
}

QString TempTree::path(const QString& relative) const
{
    return m_root + u'/' + relative;
}

QString TempTree::addFolder(const QString& relative) const
{
    const QString full = path(relative);
    if (!QDir().mkpath(full))
        throw std::runtime_error("cannot create test folder " + full.toStdString());
    return full;
}

QString TempTree::addFile(const QString& relative, const QByteArray& content) const
{
    const QString full = path(relative);
    QDir().mkpath(QFileInfo(full).path());
    QFile file(full);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        throw std::runtime_error("cannot create test file " + full.toStdString());
    return full;
}

CurrentDirectoryKeeper::CurrentDirectoryKeeper()
    : m_saved(QDir::currentPath())
{
}

CurrentDirectoryKeeper::~CurrentDirectoryKeeper()
{
    QDir::setCurrent(m_saved);
}

} // namespace testsupport
