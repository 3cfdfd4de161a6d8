// Parameter names and status texts in the interface language.
#include "acquisition/param_names.h"


namespace vantoro {

namespace {

const QString section = QStringLiteral("Parameters");

QString lookUp(const QString &key, const QString &fallback, int language)
{
    return key.isEmpty() ? fallback : formText(section, key, fallback, language);
}

} // namespace

QString parameterName(const ParamRecord &p, int language)
{
    return lookUp(p.paracode.trimmed(), p.paraname, language);
}

QString parameterStatusText(const ParamRecord &p, const QString &stored, int language)
{
    const QString code = p.paracode.trimmed();
    if (code.isEmpty() || stored.isEmpty())
        return stored;
    if (stored == p.srcstring)
        return lookUp(code + QStringLiteral(".SrcString"), stored, language);
    if (stored == p.okstring)
        return lookUp(code + QStringLiteral(".OkString"), stored, language);
    return stored;
}

QString parameterValueText(const ParamRecord &p, int language)
{
    return parameterStatusText(p, p.text(), language);
}

} // namespace vantoro
