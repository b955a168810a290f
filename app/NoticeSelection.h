// The notices selected for sending: their names as the folder holds them, and the folder.
#pragma once

#include <QString>
#include <QStringList>

// Lower-cases the letters A to Z only, as notice names have always been compared.
QString lowerAscii(QString text);

// Taken from the notice list's highlighted files when Send is pressed; the run uploads it.
class NoticeSelection {
public:
    static constexpr qsizetype capacity = 500;

    NoticeSelection() = default;
    explicit NoticeSelection(QString folder);

    // Takes the name as it is (the file sent is the file named; the station gets it
    // lower-cased), in the order of the calls; false, and the name only counted as left
    // out, once the selection holds `capacity` names.
    bool add(const QString& name);

    const QString& folder() const { return m_folder; }
    // Names without folder.
    const QStringList& names() const { return m_names; }
    // Names that add() refused because the selection was full.
    qsizetype leftOut() const { return m_leftOut; }

private:
    QString m_folder;
    QStringList m_names;
    qsizetype m_leftOut = 0;
};
