// Setting and restoring one environment variable.
#include "tests/support/ScopedVariable.h"

#include <QtGlobal>

namespace testsupport {

ScopedVariable::ScopedVariable(const char* name, const QByteArray& value)
    : m_name(name)
    , m_previous(qgetenv(name))
    , m_wasSet(qEnvironmentVariableIsSet(name))
{
    qputenv(name, value);
}

ScopedVariable::~ScopedVariable()
{
    if (m_wasSet)
        qputenv(m_name, m_previous);
    else
        qunsetenv(m_name);
}

} // namespace testsupport
