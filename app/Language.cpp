// The language the texts are shown in.
#include "app/Language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace language {

namespace {

// LANGUAGE may hold a list ("en_GB:en"); its first entry decides.
QString fromName(const QString& name)
{
    const QString first = name.section(u':', 0, 0).trimmed();
    if (first.isEmpty())
        return {};
    return first.startsWith(QStringLiteral("zh")) ? QStringLiteral("zh_CN") : QStringLiteral("en");
}

} // namespace

QString chosen()
{
    const QString fromEnvironment = fromName(qEnvironmentVariable("LANGUAGE"));
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QLocale::system().language() == QLocale::Chinese ? QStringLiteral("zh_CN")
                                                            : QStringLiteral("en");
}

void install(const QString& name)
{
    // Owned by the application, so that they live as long as the texts are asked for.
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QStringLiteral(":/i18n/zarvel_%1.qm").arg(name)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace language
