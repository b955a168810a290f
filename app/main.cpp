// The program's entry point: the application object and the main window, or with --where
// the folders in use.
#include "app/Language.h"
#include "app/MainWindow.h"
#include "app/SettingsFiles.h"

#include "platform/application.h"
#include "platform/files.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstring>

namespace {

bool asksWhere(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--where") == 0)
            return true;
    return false;
}

// Needs no display, so that it also answers on a text console.
int printFolders(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const platform::SettingsPlace place = settingsfiles::place();
    QTextStream out(stdout);
    out << "program:  " << platform::programFolder() << '\n'
        << "mode:     " << (place.portable ? "portable" : "installed") << '\n'
        << "settings: " << place.settings << '\n'
        << "logs:     " << place.logs << '\n';
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (asksWhere(argc, argv))
        return printFolders(argc, argv);
    platform::Application application(argc, argv);
    language::install(language::chosen());
    MainWindow form;
    form.show();
    return platform::Application::exec();
}
