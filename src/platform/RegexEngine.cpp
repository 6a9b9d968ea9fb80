#include "platform/RegexEngine.h"

#include <QByteArray>
#include <QtGlobal>

namespace RegexEngine
{
namespace
{
constexpr char variable[] = "QT_ENABLE_REGEXP_JIT";
bool asked = false;
} // namespace

bool preferInterpreter()
{
    if (qEnvironmentVariableIsSet(variable))
        return false;
    asked = qputenv(variable, QByteArrayLiteral("0"));
    return asked;
}

void keepFromChildren()
{
    if (asked)
        qunsetenv(variable);
    asked = false;
}
} // namespace RegexEngine
