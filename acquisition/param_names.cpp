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
    return parameterName(p.paracode, p.paraname, language);
}

QString parameterName(const QString &code, const QString &storedName, int language)
{
    return lookUp(code.trimmed(), storedName, language);
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

QString shippedParameterText(const QString &code, const QString &suffix, const QString &stored, int language)
{
    const QString key = code.trimmed();
    if (key.isEmpty() || stored.isEmpty())
        return stored;
    if (formText(section, key + suffix, QString(), LANGUAGE_CHINESE) != stored)
        return stored;
    return lookUp(key + suffix, stored, language);
}

QString parameterValueText(const ParamRecord &p, int language)
{
    return parameterStatusText(p, p.text(), language);
}

} // namespace vantoro
