// Notice names as the selection keeps them.
#include "app/NoticeSelection.h"

#include <utility>

QString lowerAscii(QString text)
{
    for (QChar& character : text)
        if (character >= u'A' && character <= u'Z')
            character = QChar(character.unicode() + (u'a' - u'A'));
    return text;
}

NoticeSelection::NoticeSelection(QString folder)
    : m_folder(std::move(folder))
{
}

bool NoticeSelection::add(const QString& name)
{
    if (m_names.size() >= capacity) {
        ++m_leftOut;
        return false;
    }
    m_names << name;
    return true;
}
