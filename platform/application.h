// The application object: title, error box and the central handler for failures
// that escape an event handler.
#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <functional>

namespace platform {

// The program's name: the title of its windows and the name of its folders in the user's home.
QString applicationName();

// The text the error box shows for a failure message: a full stop is appended
// when the code of the last character is greater than that of ".".
QString errorBoxText(const QString& message);

// Shows the error box (error icon, caption = application title, one OK button).
// Tests replace the box through setErrorBoxHook to see the text instead.
void showErrorBox(const QString& message);

// Seam for tests: when set, receives the (already full-stopped) text instead of a modal box.
// Returns the previous hook.
using ErrorBoxHook = std::function<void(const QString& text)>;
ErrorBoxHook setErrorBoxHook(ErrorBoxHook hook);

// The central handler: reports the exception currently being handled (call it
// from a catch block) in the error box; the program then goes on.
void handleCurrentException();

// Runs a handler and routes whatever it throws to the central handler.
template <typename Handler>
void guarded(Handler&& handler) noexcept
{
    try {
        handler();
    } catch (...) {
        handleCurrentException();
    }
}

// QApplication whose notify() catches what an event handler throws, so that no
// exception crosses Qt.
class Application : public QApplication {
    Q_OBJECT
public:
    using base = QApplication;
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace platform
