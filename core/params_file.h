// The parameter file "PARAMS.INI": its parameter rows in memory, the look-up
// by name, and the rewrite through "PARAMS.TMP" that never leaves the file
// half written or missing.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace vantoro {

inline constexpr const char *PARAMS_FILE = "PARAMS.INI";
inline constexpr const char *PARAMS_TEMP_FILE = "PARAMS.TMP";

// Field numbers of a parameter row, as they stand between the commas.
enum ParamsField : int {
    PF_ROW = 0,
    PF_IN_USE = 1,
    PF_NAME = 2,
    PF_UNIT = 3,
    PF_BOUNDS_FIXED = 4,
    PF_LOWER = 5,
    PF_UPPER = 6,
    PF_CODE = 7,
    PF_MULTIPLE = 8,
    PF_FORMAT = 9,
    PF_WARNING = 10,
};

using ParamsRow = QStringList;
using ParamsRows = QList<ParamsRow>;

// A line is a parameter row when its first comma-separated field is a number.
bool isParamsRowLine(const QString &line);
// A row takes part in the editor when its in-use field starts with a non-zero number.
bool rowInUse(const ParamsRow &row);
bool rowWatched(const ParamsRow &row);
// A warning bound must be a finite number (surrounding blanks allowed).
bool isBoundText(const QString &text);
// Bounds may be edited only when the bounds-fixed field is exactly "0".
bool rowBoundsEditable(const ParamsRow &row);
QString rowField(const ParamsRow &row, int field);
// Sets a field, adding empty fields when the row is shorter.
void setRowField(ParamsRow &row, int field, const QString &value);

// The file's text decoded (GBK unless it starts with a UTF-8 byte-order mark)
// and split into lines; false when it cannot be read.
bool readParamsLines(const QString &path, QStringList *lines, QString *error = nullptr);
// The parameter rows of a file, in file order, each split at its commas.
ParamsRows parseParamsRows(const QStringList &lines);
// The path of "PARAMS.INI" beside the program (matched without regard to case).
QString paramsFilePath();
// Loads the rows of "PARAMS.INI"; empty when the file is missing.
ParamsRows loadParamsRows(const QString &path = paramsFilePath());

// The position of the row whose name field equals `name` exactly; -1 when none.
int findParamsRow(const ParamsRows &rows, const QString &name);

// The new file text: the old file's non-empty lines that are not parameter
// rows, in order, then every row of `rows` joined with commas.
QStringList paramsFileLines(const QStringList &oldLines, const ParamsRows &rows);

// Rewrites "PARAMS.INI" in `dir` from `rows`: the new text is written
// completely to "PARAMS.TMP" (which stays), then put in place of
// "PARAMS.INI" in one step. A failure at any point leaves the old file whole.
// A field holding a comma or a line break, or a character the file's
// encoding cannot hold, is refused before anything is written.
bool saveParamsFile(const QString &dir, const ParamsRows &rows, QString *error = nullptr);

// The station's row list, loaded from "PARAMS.INI" on first use and kept for
// the whole run (bounds applied in the editor stay here until saved).
ParamsRows &stationParamsRows();
void reloadStationParamsRows();

} // namespace vantoro
