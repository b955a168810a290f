// An environment variable set for as long as a test needs it.
#pragma once

#include <QByteArray>

namespace testsupport {

// Sets `name` to `value` and gives it back its earlier value (or unsets it) when it ends.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const QByteArray& value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* m_name;
    QByteArray m_previous;
    bool m_wasSet;
};

} // namespace testsupport
