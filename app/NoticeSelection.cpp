// Notice names as the selection keeps them.
#include "app/NoticeSelection.h"

QString lowerAscii(QString text)
{
    for (QChar& character : text)
        if (character >= u'A' && character <= u'Z')
            character = QChar(character.unicode() + (u'a' - u'A'));
    return text;
}
