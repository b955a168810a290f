// The application object, its error box and the central exception handler.
#include "platform/application.h"

#include "platform/exception.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

#include <stdexcept>
#include <utility>

namespace platform {

namespace {

ErrorBoxHook& errorBoxHook()
{
    static ErrorBoxHook hook;
    return hook;
}

QString messageOf(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const InOutError& error) {
        return error.readerText();
    } catch (const Exception& error) {
        return error.message();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
        return QCoreApplication::translate("platform", "未知异常");
    }
}

} // namespace

QString applicationName()
{
    return QStringLiteral("Zarvel");
}

QString errorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QCoreApplication::translate("platform", "。"); // the box's own full stop
    return message;
}

void showErrorBox(const QString& message)
{
    const QString text = errorBoxText(message);
    // A box belongs to the window's thread; a worker thread's failure is its caller's to tell.
    if (const QCoreApplication* app = QCoreApplication::instance();
        app && QThread::currentThread() != app->thread()) {
        qWarning("%s", qUtf8Printable(text));
        return;
    }
    if (errorBoxHook()) {
        errorBoxHook()(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), text,
                    QMessageBox::Ok);
    box.exec();
}

ErrorBoxHook setErrorBoxHook(ErrorBoxHook hook)
{
    return std::exchange(errorBoxHook(), std::move(hook));
}

void handleCurrentException()
{
    showErrorBox(messageOf(std::current_exception()));
}

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(applicationName());
    setApplicationDisplayName(applicationName());
    // Lets the desktop match the window to the installed menu entry and its icon.
    setDesktopFileName(QStringLiteral("com.example.tellumar.zarvel"));
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return base::notify(receiver, event);
    } catch (...) {
        handleCurrentException();
        return false;
    }
}

} // namespace platform
