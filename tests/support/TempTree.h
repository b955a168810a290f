// Temporary folder trees and files for tests, removed with the object.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

class TempTree {
public:
    TempTree();
    Q_DISABLE_COPY_MOVE(TempTree)

    bool isValid() const { return m_dir.isValid(); }
    // The tree's root as the system reports it (symbolic links resolved), without a trailing "/".
    QString path() const { return m_root; }
    // A path below the root; "a/b.txt" gives <root>/a/b.txt.
    QString path(const QString& relative) const;

    // Creates a folder and its parents; returns its full path.
    QString addFolder(const QString& relative) const;
    // Creates a file (and its folders) with the given content; returns its full path.
    QString addFile(const QString& relative, const QByteArray& content = {}) const;

private:
    QTemporaryDir m_dir;
    QString m_root;
};

// Restores the process's current directory when it goes out of scope.
class CurrentDirectoryKeeper {
public:
    CurrentDirectoryKeeper();
    ~CurrentDirectoryKeeper();
    Q_DISABLE_COPY_MOVE(CurrentDirectoryKeeper)

private:
    QString m_saved;
};

} // namespace testsupport
