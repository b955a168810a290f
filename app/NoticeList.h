// The notice list as Send sees it: the highlighted files of a list that follows its folder.
#pragma once

#include "app/NoticeSelection.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

class FileListView;
class QLabel;

// Whatever re-reads the list here (a new filter, files added or removed on disk) keeps
// highlighted the files that are still listed; a file no longer listed is no longer selected.
// An empty list says where its folder is chosen.
class NoticeList : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NoticeList)

public:
    NoticeList(FileListView* view, QObject* parent);

    // The highlighted files in list order, at most NoticeSelection::capacity of them.
    NoticeSelection selection() const;
    // "已选 3 个文件": how many files Send would take now.
    QString countText() const;
    // What Send says when no file is highlighted; empty when one is.
    QString emptySelectionMessage() const;
    void setMask(const QString& mask);
    // Moves the view to `folder` (nothing when empty) and follows the folder it shows.
    void showFolder(const QString& folder);

private:
    void followFolder();
    void reread();
    void showHintWhenEmpty();
    template <typename Change>
    void keepingSelection(Change&& change);

    FileListView* m_view;
    QLabel* m_emptyHint;
    QFileSystemWatcher m_watcher;
    // Saving a file changes the folder several times in a row: one re-read for all.
    QTimer m_settle;
};
