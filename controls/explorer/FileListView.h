// FileListView: a sorted file list that draws the shell's small icon before each name.
#pragma once

#include <QListWidget>
#include <QPixmap>
#include <QString>
#include <QStringList>

#include <functional>

class QPainter;
class QStyleOptionViewItem;

enum class LetterCase { ecNormal, ecUpperCase, ecLowerCase };

class FileListView : public QListWidget {
    Q_OBJECT
public:
    using base = QListWidget;
    using NotifyEvent = std::function<void(QObject* Sender)>;
    using MouseEvent = std::function<void(QObject* Sender, Qt::MouseButton Button,
                                          Qt::KeyboardModifiers Shift, int X, int Y)>;

    explicit FileListView(QWidget* parent = nullptr);
    ~FileListView() override;
    Q_DISABLE_COPY_MOVE(FileListView)

    QString Directory() const { return m_directory; }
    void setDirectory(const QString& path);
    QString Mask() const { return m_mask; }
    void setMask(const QString& patterns);
    QString FileName() const;
    void setFileName(const QString& path);
    QStringList Items() const;
    bool Selected(int index) const;
    bool MultiSelect() const;
    void setMultiSelect(bool value);
    int ItemHeight() const { return m_itemHeight; }
    void setItemHeight(int value);
    int Columns() const { return 1; }
    LetterCase charCase() const { return m_charCase; }
    void setCharCase(LetterCase value);
    const QPixmap& FolderBitmap() const { return m_folderBitmap; }

    // Repaints only; the folder is not read again.
    void Refresh();
    // Reads the folder again, for a list that follows changes on disk; fails as a re-read does.
    void rereadFolder() { readFileList(); }
    // Draws one row: the folder picture for names with "[", else the file's own icon, then the
    // name.
    void DrawItem(QPainter* painter, int index, const QRect& rect,
                  const QStyleOptionViewItem& state);

    NotifyEvent OnClick;
    NotifyEvent OnDblClick;
    MouseEvent OnMouseUp;
    NotifyEvent OnChange;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void readFileList();
    void focusName(const QString& name);
    template <typename Input>
    void userInput(Input&& input);
    void fire(const NotifyEvent& event);

    QString m_directory;
    QString m_mask = QStringLiteral("*.*");
    LetterCase m_charCase = LetterCase::ecLowerCase;
    int m_itemHeight = 18;
    QPixmap m_folderBitmap;
};
