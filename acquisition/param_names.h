// Display texts of a parameter in the interface language: the language file's
// "Parameters" section, keyed by PARACODE, names "<CODE>" and status texts
// "<CODE>.SrcString" / "<CODE>.OkString". The database keeps its own texts;
// they are shown whenever the language file has no entry.
#pragma once

#include "acquisition/param_table.h"
#include "core/localisation.h"

namespace vantoro {

QString parameterName(const ParamRecord &p, int language = LANGUAGE_CURRENT);
// The same for a row that is not in the table (PARAMS.INI): its code and stored name.
QString parameterName(const QString &code, const QString &storedName, int language = LANGUAGE_CURRENT);
// `stored` as the operator should read it: a status text of the parameter
// in the interface language, any other text unchanged.
QString parameterStatusText(const ParamRecord &p, const QString &stored, int language = LANGUAGE_CURRENT);
// A stored text of the parameter `code` (`suffix` "" for the name,
// ".SrcString" or ".OkString") as the operator should read it in an editor:
// translated while it is the shipped Chinese text, the operator's own
// wording otherwise, so an edit always shows as typed.
QString shippedParameterText(const QString &code, const QString &suffix, const QString &stored,
                             int language = LANGUAGE_CURRENT);
// The value of a text parameter for display (status texts translated).
QString parameterValueText(const ParamRecord &p, int language = LANGUAGE_CURRENT);

} // namespace vantoro
