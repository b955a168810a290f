// The program's entry point: the application object and the main window.
#include "app/MainWindow.h"

#include "platform/application.h"

int main(int argc, char** argv)
{
    platform::Application application(argc, argv);
    MainWindow form;
    form.show();
    return platform::Application::exec();
}
