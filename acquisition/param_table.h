// The in-memory parameter table of a device: its 30 parameter slots, loaded
// from paraset and written back with their live values.
#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <QElapsedTimer>
#include <array>
#include <functional>
#include <optional>

namespace vantoro {

inline constexpr int PARAM_SLOTS = 30;
inline constexpr int PARAM_COLUMNS = 22;
inline constexpr int UPDATED_LIMIT = 127;
// The device of a plant of one, and of every database before the plant.
inline constexpr const char *PARAM_DEVICE_ID = "001";
// Live values (integrated energy above all) are saved at least this often
// while polling, so a power cut loses no more than that.
inline constexpr int PARAM_SAVE_MINUTES = 10;

// Column numbers of paraset, which are also the field numbers of a slot.
enum ParamColumn : int {
    COL_DEVID = 0,
    COL_PARAID,
    COL_PARACODE,
    COL_PARANAME,
    COL_ENABLED,
    COL_PARAVALUE,
    COL_MULTIPLE,
    COL_UNIT,
    COL_RANGEL,
    COL_RANGEU,
    COL_BOUNDL,
    COL_BOUNDU,
    COL_ISSTRING,
    COL_SRCSTRING,
    COL_OKSTRING,
    COL_FOUNDERROR,
    COL_DEVPART,
    COL_WARNINGENABLED,
    COL_UPDATED,
    COL_UPDATETIME,
    COL_MMFILEURL,
    COL_DATAFORMAT,
};

// The column names of paraset, by column number.
extern const std::array<const char *, PARAM_COLUMNS> paramColumnNames;

// One device parameter. Limits are empty (nullopt) for status parameters.
// `paravalue` is text after a load; a poll stores numbers (double, or float
// for the temperature rows), the reply time (QDateTime) or status texts.
struct ParamRecord
{
    QString devid;
    QString paraid;
    QString paracode;
    QString paraname;
    double enabled = 0;
    QVariant paravalue;
    double multiple = 0;
    QString unit;
    std::optional<double> rangel;
    std::optional<double> rangeu;
    std::optional<double> boundl;
    std::optional<double> boundu;
    double isstring = 0;
    QString srcstring;
    QString okstring;
    double founderror = 0;
    double devpart = 0;
    double warningenabled = 0;
    double updated = 0;
    QVariant updatetime;
    QString mmfileurl;
    QString dataformat;

    // Run-time state beside the columns, never stored. A value loaded from
    // the database and not yet written by a reply of this run is not judged:
    // it says nothing about the device now.
    bool awaitingReply = false;
    // A DC-side row of a device asleep: its limits are not judged.
    bool resting = false;
    // The device's own reading when the station replaced it by a computed
    // value (the DC voltage of an implausible power ratio).
    std::optional<double> rawReading;

    // A slot no row has been loaded into.
    bool isEmpty() const { return devid.isEmpty() && paraid.isEmpty(); }

    // The value as a number: the leading number of its text, 0 when none.
    double number() const;
    // The value as text, date-times as "yyyy-MM-dd HH:mm:ss".
    QString text() const;

    // Field access by column number 0..21; limits read back as a number or
    // as empty text. Out-of-range columns read as an invalid QVariant.
    QVariant field(int column) const;
    // Numbers and limits take the leading number of a text (empty text
    // clears a limit); out-of-range columns are ignored.
    void setField(int column, const QVariant &value);
};

using ParamTable = std::array<ParamRecord, PARAM_SLOTS>;

bool isParamSlot(int slot);
QVariant field(const ParamTable &table, int slot, int column);
void setField(ParamTable &table, int slot, int column, const QVariant &value);
// The value of a slot as a number (0 for an unknown slot).
double numericValue(const ParamTable &table, int slot);

// The decimals a scale factor gives a decoded value (0.1 gives 1, 0.25
// gives 2, 1 and 10 give 0), at most 9.
int decimalsOfMultiple(double multiple);
// `value` rounded to those decimals, so a product such as 2531 x 0.1 is held
// as 253.1 and not as the binary noise beside it.
double roundToMultiple(double value, double multiple);

// A stored value as text: numbers in their shortest exact form, date-times
// as "yyyy-MM-dd HH:mm:ss".
QString variantText(const QVariant &value);
// A date-time in a value, or an invalid QDateTime when it holds no date.
QDateTime variantDateTime(const QVariant &value);

// Reads the rows of device `devid` into their slots. No rows: beep and the
// event "Device Parameters Error!", table unchanged. False when nothing was
// loaded.
bool loadParamTable(ParamTable &table, const QString &devid);
// Writes paravalue, founderror, the save counter `updated` (up to 127) and a
// valid updatetime of every row of device `devid`, in one transaction. Rows
// whose slot was never loaded are left alone, so a failed load is never
// followed by a save that blanks the live columns.
bool saveParamValues(const ParamTable &table, const QString &devid);

// When the live values are next due for their save while polling.
class ParamSaveSchedule
{
public:
    // `elapsedMs` is a monotonic clock in milliseconds; empty: the real one.
    explicit ParamSaveSchedule(std::function<qint64()> elapsedMs = {});
    void setClock(std::function<qint64()> elapsedMs);
    // Counts the interval again from now (polling switched on).
    void restart();
    // Calls `save` when PARAM_SAVE_MINUTES have passed since the last save
    // or restart; true when it saved.
    bool saveIfDue(const std::function<bool()> &save);

private:
    qint64 now() const;

    std::function<qint64()> m_clock;
    QElapsedTimer m_elapsed;
    qint64 m_lastSave = 0;
};

} // namespace vantoro
