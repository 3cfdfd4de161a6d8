// The conversions of the system settings dialog between the settings record
// and the texts of its fields, and the entries of its port list.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace vantoro {

inline constexpr int LISTED_COM_PORTS = 16;
inline constexpr const char *PARITY_LETTERS = "NSMOE";

// The rate entry for a settings text: its leading number in decimal
// ("9600,N,8,1" gives "9600").
QString rateTextFromSettings(const QString &comSettings);
// The parity letter: the first of the last five characters, upper case,
// when it is one of "NSMOE"; "N" otherwise.
QString parityFromSettings(const QString &comSettings);
// The settings text the dialog writes: always 8 data bits and 1 stop bit.
QString comSettingsText(const QString &rate, const QString &parity);

// A setting shown as decimal text (single precision, as it is held).
QString settingNumberText(double value);
// The query interval must be a number; nullopt when the text is not one.
std::optional<float> queryIntervalFromText(const QString &text);
// What the poll loop can work with: at least one attempt per cycle, and a
// reply wait neither too short for the device nor stalling the window.
inline constexpr int RETRIES_MIN = 0;
inline constexpr int RETRIES_MAX = 10;
inline constexpr double TIMEOUT_MIN_SECONDS = 0.1;
inline constexpr double TIMEOUT_MAX_SECONDS = 60;
// The reply time-out: a number from 0.1 to 60 seconds; nullopt otherwise.
std::optional<float> timeOutFromText(const QString &text);
// The retries: a number rounded like `wholeNumberFromText`, 0 to 10;
// nullopt otherwise.
std::optional<int> retriesFromText(const QString &text);
// The standby share: a number from 0 (never asleep) to STANDBY_PERCENT_MAX
// percent of the rating; nullopt otherwise.
std::optional<double> standbyPercentFromText(const QString &text);
// The leading number rounded to a whole number, halves to the even one.
int wholeNumberFromText(const QString &text);

// One entry of the "Com" list: port number n (1 = Com1) and the device behind it.
struct PortEntry
{
    int number = 0;
    QString device;
    // True when the device is a port of the system not yet mapped to this
    // number: choosing the entry stores the mapping.
    bool newMapping = false;
    QString description;     // what the system says the port is, if anything
};

// Com1..Com16 (and up to the current port when that is higher) with their
// devices, then one further entry for each port of the system that is behind
// none of them.
QList<PortEntry> portEntries(int currentPort, const QStringList &systemPorts);
QString portEntryText(const PortEntry &entry);
// The entries worth offering: ports the system has (known numbers first,
// then new ones) and the current port whatever it is, each with the
// system's description of it.
QList<PortEntry> shownPortEntries(int currentPort, const QStringList &systemPorts,
                                  const QHash<QString, QString> &descriptions = {});
// What the text of the port field means: an entry's text, "Com<n>", or a
// device path typed in. A path no entry opens becomes the device of the
// current port number, to be stored as its mapping. Number 0 for empty text.
PortEntry portChoice(const QString &text, const QList<PortEntry> &entries, int currentPort);

} // namespace vantoro
