// Display texts of a parameter in the interface language: the language file's
// "Parameters" section, keyed by PARACODE, names "<CODE>" and status texts
// "<CODE>.SrcString" / "<CODE>.OkString". The database keeps its own texts;
// they are shown whenever the language file has no entry.
#pragma once

#include "acquisition/param_table.h"
#include "core/localisation.h"

namespace vantoro {

QString parameterName(const ParamRecord &p, int language = LANGUAGE_CURRENT);
// `stored` as the operator should read it: a status text of the parameter
// in the interface language, any other text unchanged.
QString parameterStatusText(const ParamRecord &p, const QString &stored, int language = LANGUAGE_CURRENT);
// The value of a text parameter for display (status texts translated).
QString parameterValueText(const ParamRecord &p, int language = LANGUAGE_CURRENT);

} // namespace vantoro
