// The administration dialogs: system settings and options, customer data and
// password, the warning bounds editor and the two parameter table editors.
#include "acquisition/fake_serial_port.h"
#include "acquisition/param_table.h"
#include "core/database.h"
#include "core/device_store.h"
#include "core/factory_tables.h"
#include "core/localisation.h"
#include "core/params_file.h"
#include "core/password.h"
#include "core/profile_file.h"
#include "core/session_autostart.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "events/event_log.h"
#include "test_support.h"
#include "ui/dialogs/device_edit_dialog.h"
#include "ui/dialogs/devices_settings_page.h"
#include "plant/line.h"
#include "ui/dialogs/frm_chg_pass.h"
#include "ui/dialogs/frm_options.h"
#include "ui/dialogs/frm_par_set3.h"
#include "ui/dialogs/frm_paraset.h"
#include "ui/dialogs/frm_set_user.h"
#include "ui/dialogs/frm_set_warning.h"
#include "ui/dialogs/frm_sys_set.h"
#include "ui/dialogs/paraset_grid.h"
#include "ui/dialogs/start_page.h"
#include "ui/main/frm_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QSqlTableModel>
#include <QTableWidget>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace vantoro;
using namespace vantoro::test;

namespace {

// A TestHome with the settings of its database loaded, as after start-up:
// its device and the device's parameter table.
struct Station
{
    Station()
    {
        loadSystemSettings();
        sysSettings.Soundenabled = 0;
        if (const auto records = loadDevices(); records && !records->isEmpty())
            device.setRecord(records->at(0));
        device.loadTable();
        clearRunningLog();
    }
    // An editor shows the device; its saves reload the device's table.
    template <class Editor> void attach(Editor &editor, const QString &rating)
    {
        editor.showDevice(device.id(), rating);
        editor.onTablesChanged([this] { device.loadTable(); });
    }
    template <class Editor> void attach(Editor &editor) { attach(editor, device.record().rating); }
    TestHome home;
    MessageRecorder recorder;
    Device device;
};

// The stored row of the first device.
DeviceRecord storedDevice()
{
    const auto records = loadDevices();
    return records && !records->isEmpty() ? records->at(0) : DeviceRecord();
}

QString dbText(const QString &sql)
{
    const auto rs = rsSqlGet(sql);
    return rs && rs->recordCount() > 0 ? rs->rows[0][0].toString() : QStringLiteral("<none>");
}

int dbCount(const QString &sql)
{
    return dbText(sql).toInt();
}

// Rows of one table missing from the other, both ways.
int tableDifference(const QString &a, const QString &b)
{
    return dbCount(QStringLiteral("select count(*) from (select * from %1 except select * from %2)").arg(a, b))
        + dbCount(QStringLiteral("select count(*) from (select * from %1 except select * from %2)").arg(b, a));
}

QStringList listTexts(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

bool selectedIn(const QListWidget *list, int row)
{
    return list->currentRow() == row && list->item(row) && list->item(row)->isSelected();
}

void selectByText(QListWidget *list, const QString &text)
{
    const auto items = list->findItems(text, Qt::MatchExactly);
    QVERIFY2(!items.isEmpty(), qPrintable(text));
    list->setCurrentItem(items.first());
}

QStringList gbkLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringDecoder decoder("GBK");
    QString text = decoder.decode(f.readAll());
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void writeGbkLines(const QString &path, const QStringList &lines)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QStringEncoder encoder("GBK");
    f.write(encoder.encode(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")));
}

// The grid row whose PARAID is `paraid`, or -1.
int gridRowOf(ParasetGrid &grid, int paraid)
{
    QSqlTableModel *model = grid.model();
    const int column = model->fieldIndex(QStringLiteral("PARAID"));
    for (int row = 0; row < grid.rowCount(); ++row) {
        if (grid.filter()->index(row, column).data().toInt() == paraid)
            return row;
    }
    return -1;
}

bool setGridValue(ParasetGrid &grid, int paraid, const char *column, const QVariant &value)
{
    const int row = gridRowOf(grid, paraid);
    const int field = grid.model()->fieldIndex(QString::fromLatin1(column));
    return row >= 0 && grid.filter()->setData(grid.filter()->index(row, field), value);
}

} // namespace

class TestAdminDialogs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void init() { setUserValue(UserKeys::UserPass, QString()); }

    void sysSetLoadsLineSettings_data();
    void sysSetLoadsLineSettings();
    void sysSetSavesFieldsAndUpdatesTitle();
    void sysSetRefusesIntervalThatIsNotANumber();
    void sysSetStartPageWritesAutostartEntry();
    void sysSetLanguageChoiceAppliesAtOnce();
    void sysSetCloseAsksBeforeDroppingEdits();
    void sysSetSoundChoiceShowsFrequency();
    void sysSetTestButtonSavesBeforeTheTone();
    void sysSetKeepsStoredValuesItsListsLack();
    void sysSetRefusesLineValuesOutOfRangeAndFailedSaves();
    void sysSetPortListShowsDevicesAndMapsNewPorts();
    void sysSetLineTakesStableNamesAndAddresses();
    void sysSetDevicesPageAddsEditsAndRemoves();
    void optionsTabsWrapWithCtrlTab();
    void optionsButtonsShowNotices();

    void setUserStoresTextsAsTyped();
    void chgPassChecksRepetitionThenOldPassword();

    void setWarningListsAndMoves();
    void setWarningEditsBounds();
    void setWarningSaveWritesTheFile();

    void parSet3ShowsEnabledRowsUnderChineseTitles();
    void parSet3SaveReloadsParameterTable();
    void parSet3OpenedFromTheMainWindowSavesEdits();
    void parSet3FailedSaveKeepsEveryEdit();
    void parSet3AsksBeforeDroppingEdits();
    void parSet3FactoryCopies();
    void parSet3MissingFactoryTableLeavesParasetWhole();
    void parasetNavigatesAndBeepsAtTheEnds();
    void parasetEditStateSavesAndKeepsEscape();
};

void TestAdminDialogs::sysSetLoadsLineSettings_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("parity");
    QTest::newRow("even parity") << "9600,E,8,1" << "9600" << "E";
    QTest::newRow("unknown parity") << "9600,X,8,1" << "9600" << "N";
    QTest::newRow("odd, lower case") << "57600,o,8,1" << "57600" << "O";
}

void TestAdminDialogs::sysSetLoadsLineSettings()
{
    QFETCH(QString, settings);
    QFETCH(QString, rate);
    QFETCH(QString, parity);
    Station station;
    sysSettings.ComSettings = settings;
    frmSysSet dialog;
    QCOMPARE(dialog.cmbSets(2)->currentText(), rate);
    // Parity and power rating read as words; the stored codes stay behind them.
    QCOMPARE(dialog.cmbSets(8)->currentData().toString(), parity);
    QCOMPARE(dialog.cmbSets(8)->currentText(), langText(QStringLiteral("frmSysSet"), QStringLiteral("parity") + parity));
    QCOMPARE(dialog.cmbPower()->currentData().toString(), storedDevice().rating);
    QVERIFY2(dialog.cmbPower()->currentText().endsWith(QStringLiteral(" kW")), qPrintable(dialog.cmbPower()->currentText()));
    QVERIFY(station.recorder.texts.isEmpty());
    // Localised from the language file.
    QCOMPARE(dialog.findChild<QGroupBox *>(QStringLiteral("Frame1"))->title(), QStringLiteral("通讯参数"));
    QCOMPARE(dialog.label1(9)->text(), QStringLiteral("功率"));
    QCOMPARE(dialog.cmbPower()->toolTip(), QStringLiteral(" 改变功率设置后，请到设备参数中重新设定电流告警上限。 "));
}

void TestAdminDialogs::sysSetSavesFieldsAndUpdatesTitle()
{
    Station station;
    frmMain main(nullptr, std::make_unique<FakeSerialPort>());
    frmSysSet dialog(&main, [&main] {
        main.reloadDevices();
        main.updateTitle();
    });
    dialog.setControls({});
    QVERIFY(dialog.loadValues());
    dialog.cmbSets(0)->setEditText(QStringLiteral("Station"));
    dialog.cmbSets(1)->setEditText(QStringLiteral("Com3"));
    dialog.cmbSets(2)->setCurrentText(QStringLiteral("19200"));
    dialog.cmbSets(8)->setCurrentIndex(dialog.cmbSets(8)->findData(QStringLiteral("E")));
    dialog.cmbSets(3)->setEditText(QStringLiteral("2.5"));
    dialog.cmbSets(4)->setEditText(QStringLiteral("0.5"));
    dialog.cmbSets(5)->setEditText(QStringLiteral("2500.5"));
    dialog.cmbSets(7)->setEditText(QStringLiteral("4.5"));
    dialog.cmbPower()->setCurrentIndex(dialog.cmbPower()->findData(QStringLiteral("3K")));
    dialog.cmbSets(9)->setCurrentText(QStringLiteral("7"));
    dialog.cmbSets(10)->setCurrentText(QStringLiteral("2"));
    dialog.chkTotalPower()->setChecked(true);
    dialog.chkAutoShutDown()->setChecked(true);
    QTest::mouseClick(dialog.cmdOk(), Qt::LeftButton);

    QVERIFY2(main.windowTitle().endsWith(QStringLiteral(" [Station - QZ3K]")), qPrintable(main.windowTitle()));
    QVERIFY(runningLogText().contains(langText(QStringLiteral("Application"), QStringLiteral("msgSavedOK"))));
    // What the next poll uses is what the database now holds.
    sysSettings = SystemSettings();
    initGlobals();
    QVERIFY(loadSystemSettings());
    QCOMPARE(storedDevice().name, QStringLiteral("Station"));
    QCOMPARE(sysSettings.comport, 3);
    QCOMPARE(sysSettings.ComSettings, QStringLiteral("19200,E,8,1"));
    QCOMPARE(sysSettings.PauseSeconds, 2.5f);
    QCOMPARE(sysSettings.TimeOut, 0.5f);
    QCOMPARE(sysSettings.BeepFreq, 2500);
    QCOMPARE(sysSettings.retrytimes, 4);
    QCOMPARE(storedDevice().address, 7);
    QCOMPARE(storedDevice().protocol, 2);
    QVERIFY(storedDevice().meterCounter);
    QCOMPARE(sysSettings.AutoShutDown, 1);

    dialog.cmbSets(0)->setEditText(QStringLiteral("Roof  East "));
    dialog.cmbSets(5)->setEditText(QStringLiteral("2501.5"));
    dialog.cmbPower()->setCurrentIndex(dialog.cmbPower()->findData(QStringLiteral("2K5")));
    QVERIFY(dialog.cmdOkClick());
    QCOMPARE(sysSettings.BeepFreq, 2502);
    // The device store keeps names without their outer blanks.
    QVERIFY2(main.windowTitle().endsWith(QStringLiteral(" [Roof  East - QZ2K5]")), qPrintable(main.windowTitle()));
    QVERIFY(station.recorder.texts.isEmpty());
}

void TestAdminDialogs::sysSetLanguageChoiceAppliesAtOnce()
{
    Station station;
    sysSettings.languageIndex = LANGUAGE_CHINESE;
    frmMain main(nullptr, std::make_unique<FakeSerialPort>());
    frmSysSet dialog(&main, {}, [&main](int language) { applyLanguage(&main, language); });
    QCOMPARE(dialog.cmbLanguage()->currentText(), QStringLiteral("中文"));
    emit dialog.cmbLanguage()->activated(1);

    // No Save needed: the choice is stored and shown at once.
    QCOMPARE(readIni(QStringLiteral("Settings"), QStringLiteral("Language"), QString(), sysSettings.iniPath),
             QStringLiteral("2"));
    QCOMPARE(dialog.windowTitle(), langText(QStringLiteral("frmSysSet"), QStringLiteral("Caption"), LANGUAGE_ENGLISH));
    QCOMPARE(dialog.tabs()->tabText(0), QStringLiteral("Station"));
    QCOMPARE(dialog.cmbSets(6)->itemText(1), QStringLiteral("System sound"));
    QVERIFY2(main.myCaption.contains(QStringLiteral("Station")), qPrintable(main.myCaption));
    QVERIFY(station.recorder.texts.isEmpty());
}

void TestAdminDialogs::sysSetCloseAsksBeforeDroppingEdits()
{
    Station station;
    frmSysSet dialog;
    dialog.show();
    QPushButton *close = dialog.findChild<QPushButton *>(QStringLiteral("cmdQuit"));
    // Nothing changed: Close asks nothing.
    QTest::mouseClick(close, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QVERIFY(station.recorder.questions.isEmpty());

    dialog.show();
    dialog.cmbSets(0)->setEditText(QStringLiteral("Changed"));
    station.recorder.saveChoice = SaveChoice::Cancel;
    QTest::mouseClick(close, Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QCOMPARE(station.recorder.questions.size(), 1);

    // Saving answers it; the connection test's old answer goes with the save.
    dialog.lblTestPort()->setText(QStringLiteral("old answer"));
    station.recorder.saveChoice = SaveChoice::Save;
    QTest::mouseClick(close, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(storedDevice().name, QStringLiteral("Changed"));
    QVERIFY(dialog.lblTestPort()->text().isEmpty());

    dialog.show();
    dialog.cmbSets(0)->setEditText(QStringLiteral("Dropped"));
    station.recorder.saveChoice = SaveChoice::Discard;
    dialog.close();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(station.recorder.questions.size(), 3);
    QCOMPARE(storedDevice().name, QStringLiteral("Changed"));
}

void TestAdminDialogs::sysSetStartPageWritesAutostartEntry()
{
    Station station;
    setStartWithSession(false);
    frmSysSet dialog;
    // Pages carry no meta-object of their own: found by name.
    auto *page = static_cast<StartPage *>(dialog.findChild<QWidget *>(QStringLiteral("pageStart")));
    QVERIFY(page);
    QCOMPARE(dialog.tabs()->tabText(dialog.tabs()->indexOf(page)), QStringLiteral("启动"));
    page->chkStartWithSession()->setChecked(true);
    page->chkAutoStartPolling()->setChecked(true);
    QVERIFY(dialog.cmdOkClick());
    QVERIFY(startsWithSession());
    QCOMPARE(userValue(UserKeys::AutoStartPolling), QStringLiteral("1"));

    page->chkStartWithSession()->setChecked(false);
    QVERIFY(dialog.cmdOkClick());
    QVERIFY(!startsWithSession());
    setUserValue(UserKeys::AutoStartPolling, QStringLiteral("0"));
}

void TestAdminDialogs::sysSetRefusesIntervalThatIsNotANumber()
{
    Station station;
    int titleChanges = 0;
    int tones = 0;
    frmSysSet dialog(nullptr, [&titleChanges] { ++titleChanges; });
    dialog.setAlarmPlayer([&tones](int) { ++tones; });
    const SystemSettings before = sysSettings;
    const QString nameBefore = storedDevice().name;
    dialog.cmbSets(0)->setEditText(QStringLiteral("Changed"));
    dialog.cmbSets(3)->setEditText(QStringLiteral("three"));
    QVERIFY(!dialog.cmdOkClick());
    dialog.cmdTestSoundClick();
    QCOMPARE(station.recorder.texts.size(), 2);
    QVERIFY(station.recorder.texts[0].contains(QStringLiteral("查询间隔")));
    QVERIFY(station.recorder.texts[0].contains(QString::number(before.PauseSeconds)));
    QCOMPARE(storedDevice().name, nameBefore);
    QCOMPARE(sysSettings.PauseSeconds, before.PauseSeconds);
    QCOMPARE(dbText(QStringLiteral("select devname from devices")), nameBefore);
    QCOMPARE(titleChanges, 0);
    QCOMPARE(tones, 0);
}

void TestAdminDialogs::sysSetSoundChoiceShowsFrequency()
{
    Station station;
    sysSettings.usesoundcard = 1;
    frmSysSet dialog;
    QCOMPARE(dialog.cmbSets(6)->itemText(0), QStringLiteral("自定义音调"));
    QCOMPARE(dialog.cmbSets(6)->itemText(1), QStringLiteral("系统声音"));
    QCOMPARE(dialog.cmbSets(6)->currentIndex(), 1);
    QVERIFY(!dialog.cmbSets(5)->isVisibleTo(&dialog));
    QVERIFY(!dialog.label1(5)->isVisibleTo(&dialog));
    dialog.cmbSets(6)->setCurrentIndex(0);
    QVERIFY(dialog.cmbSets(5)->isVisibleTo(&dialog));
    QVERIFY(dialog.label1(5)->isVisibleTo(&dialog));
    dialog.cmbSets(6)->setCurrentIndex(1);
    QVERIFY(!dialog.cmbSets(5)->isVisibleTo(&dialog));
}

void TestAdminDialogs::sysSetTestButtonSavesBeforeTheTone()
{
    Station station;
    frmSysSet dialog;
    QList<int> tones;
    QString storedAtTone;
    dialog.setAlarmPlayer([&](int frequency) {
        tones << frequency;
        storedAtTone = dbText(QStringLiteral("select BeepFreq from sysset where id=1"));
    });
    dialog.cmbSets(6)->setCurrentIndex(0);
    dialog.cmbSets(5)->setEditText(QStringLiteral("1234"));
    QTest::mouseClick(dialog.cmdTestSound(), Qt::LeftButton);
    QCOMPARE(tones, QList<int>{1234});
    QCOMPARE(storedAtTone, QStringLiteral("1234"));
    QCOMPARE(sysSettings.usesoundcard, 0);
}

void TestAdminDialogs::sysSetKeepsStoredValuesItsListsLack()
{
    Station station;
    SystemSettings &s = sysSettings;
    s.comport = 0;
    s.ComSettings = QStringLiteral("4000,E,8,1");
    s.usesoundcard = 5;
    QVERIFY(execSql(QStringLiteral("update devices set devpower='7K', devaddr=9, TotalPower=1, devcomversion=3")));
    frmSysSet dialog;
    QVERIFY(station.recorder.texts.isEmpty());
    // Every field loads; the unknown values are shown and marked.
    QCOMPARE(dialog.cmbSets(8)->currentData().toString(), QStringLiteral("E"));
    QCOMPARE(dialog.cmbSets(9)->currentText(), QStringLiteral("9"));
    QVERIFY(dialog.chkTotalPower()->isChecked());
    QVERIFY(dialog.cmbPower()->currentText().startsWith(QStringLiteral("7K")));
    QVERIFY(!dialog.cmbPower()->currentData(Qt::ToolTipRole).toString().isEmpty());
    QVERIFY(dialog.cmbSets(2)->currentText().startsWith(QStringLiteral("4000")));

    // Saved untouched, they come back as they were stored.
    QVERIFY(dialog.cmdOkClick());
    s = SystemSettings();
    initGlobals();
    QVERIFY(loadSystemSettings());
    QCOMPARE(s.comport, 0);
    QCOMPARE(s.ComSettings, QStringLiteral("4000,E,8,1"));
    QCOMPARE(s.usesoundcard, 5);
    QCOMPARE(dbText(QStringLiteral("select devpower from devices")), QStringLiteral("7K"));
    QCOMPARE(dbText(QStringLiteral("select devaddr from devices")), QStringLiteral("9"));
    // A protocol the station does not know is read, used and saved as the framed one.
    QCOMPARE(dbText(QStringLiteral("select devcomversion from devices")), QStringLiteral("1"));
    // A listed entry chosen instead replaces the value.
    dialog.cmbPower()->setCurrentIndex(dialog.cmbPower()->findData(QStringLiteral("3K")));
    QVERIFY(dialog.cmdOkClick());
    QCOMPARE(dbText(QStringLiteral("select devpower from devices")), QStringLiteral("3K"));
}

void TestAdminDialogs::sysSetRefusesLineValuesOutOfRangeAndFailedSaves()
{
    Station station;
    frmSysSet dialog;
    const SystemSettings before = sysSettings;
    const QList<std::pair<const char *, const char *>> refused = {
        {"abc", "3"}, {"0.05", "3"}, {"61", "3"}, {"3", "-1"}, {"3", "11"}, {"3", "x"}};
    for (const auto &[timeOut, retries] : refused) {
        dialog.cmbSets(4)->setEditText(QString::fromLatin1(timeOut));
        dialog.cmbSets(7)->setEditText(QString::fromLatin1(retries));
        QVERIFY2(!dialog.cmdOkClick(), timeOut);
    }
    QCOMPARE(station.recorder.texts.size(), refused.size());
    QVERIFY(station.recorder.texts[0].contains(QStringLiteral("0.1")) && station.recorder.texts[0].contains(QStringLiteral("60")));
    QVERIFY(station.recorder.texts[3].contains(QStringLiteral("10")));
    QCOMPARE(sysSettings.TimeOut, before.TimeOut);
    QCOMPARE(sysSettings.retrytimes, before.retrytimes);
    QCOMPARE(dbText(QStringLiteral("select retrytimes from sysset where id=1")).toInt(), before.retrytimes);

    // The range ends are accepted; a write the database refused is not
    // reported as saved.
    dialog.cmbSets(4)->setEditText(QStringLiteral("0.1"));
    dialog.cmbSets(7)->setEditText(QStringLiteral("10"));
    QVERIFY(execSql(QStringLiteral("drop table sysset")));
    clearRunningLog();
    QVERIFY(!dialog.cmdOkClick());
    QCOMPARE(sysSettings.retrytimes, 10);
    QVERIFY(!runningLogText().contains(langText(QStringLiteral("Application"), QStringLiteral("msgSavedOK"))));
    QVERIFY(runningLogText().contains(langText(QStringLiteral("frmSysSet"), QStringLiteral("msgSaveFailed"))));
}

void TestAdminDialogs::sysSetPortListShowsDevicesAndMapsNewPorts()
{
    Station station;
    setPortDeviceName(1, QStringLiteral("/dev/ttyUSB9"));
    frmSysSet dialog;
    dialog.setControls({QStringLiteral("/dev/ttyFAKE0"), QStringLiteral("/dev/ttyUSB9")});
    QVERIFY(dialog.loadValues());
    // Only ports the system has (and the current one) are offered.
    QCOMPARE(dialog.cmbSets(1)->count(), 2);
    // Listed by their paths, not by the numbers the settings store them under.
    QCOMPARE(dialog.cmbSets(1)->itemText(0), QStringLiteral("/dev/ttyUSB9"));
    QCOMPARE(dialog.cmbSets(1)->itemText(1), QStringLiteral("/dev/ttyFAKE0"));
    dialog.cmbSets(1)->setCurrentIndex(1);
    QVERIFY(dialog.cmdOkClick());
    QCOMPARE(sysSettings.comport, 17);
    QCOMPARE(portDeviceName(17), QStringLiteral("/dev/ttyFAKE0"));
    // A path typed in becomes the device of the current number.
    dialog.cmbSets(1)->setEditText(QStringLiteral("  /dev/pts/77 "));
    QVERIFY(dialog.cmdOkClick());
    QCOMPARE(sysSettings.comport, 17);
    QCOMPARE(portDeviceName(17), QStringLiteral("/dev/pts/77"));
    // "Com<n>" picks a number without touching its mapping.
    dialog.cmbSets(1)->setEditText(QStringLiteral("com1"));
    QVERIFY(dialog.cmdOkClick());
    QCOMPARE(sysSettings.comport, 1);
    QCOMPARE(portDeviceName(1), QStringLiteral("/dev/ttyUSB9"));
    setPortDeviceName(1, QString());
    setPortDeviceName(17, QString());
}

void TestAdminDialogs::sysSetLineTakesStableNamesAndAddresses()
{
    Station station;
    QTemporaryDir dev;
    QFile adapter(dev.filePath(QStringLiteral("ttyUSB9")));
    QVERIFY(adapter.open(QIODevice::WriteOnly));
    QVERIFY(QDir(dev.path()).mkdir(QStringLiteral("by-id")));
    const QString stable = dev.filePath(QStringLiteral("by-id/usb-Maker_Adapter_A123-if00-port0"));
    QVERIFY(QFile::link(QStringLiteral("../ttyUSB9"), stable));
    // An adapter unplugged leaves no link worth offering.
    QVERIFY(QFile::link(QStringLiteral("../ttyUSB4"), dev.filePath(QStringLiteral("by-id/usb-Gone-if00-port0"))));
    setPortDeviceName(1, adapter.fileName());
    sysSettings.comport = 1;

    frmSysSet dialog;
    dialog.setStablePortFolder(dev.filePath(QStringLiteral("by-id")));
    dialog.setControls({QStringLiteral("/dev/ttyFAKE0"), adapter.fileName()});
    QVERIFY(dialog.loadValues());
    QCOMPARE(dialog.cmbSets(1)->count(), 3);
    QCOMPARE(dialog.cmbSets(1)->itemText(0), stable + QStringLiteral("  ") + adapter.fileName());
    // The stored ttyUSB path is shown with the name to switch to.
    QCOMPARE(dialog.cmbSets(1)->currentText(), adapter.fileName());
    QVERIFY(!dialog.lblPortHint()->isHidden());
    QVERIFY(dialog.lblPortHint()->text().contains(stable));
    dialog.cmbSets(1)->setCurrentIndex(0);
    QVERIFY(dialog.lblPortHint()->isHidden());
    QVERIFY(dialog.cmdOkClick());
    QCOMPARE(portDeviceName(sysSettings.comport), stable);

    // An address typed wrong, or Modbus TCP with protocol 1, is refused there.
    const int port = sysSettings.comport;
    station.recorder.texts.clear();
    dialog.cmbSets(1)->setEditText(QStringLiteral("tcp://gateway:99999"));
    QVERIFY(!dialog.cmdOkClick());
    QVERIFY(sysSettings.LineAddress.isEmpty());
    QCOMPARE(station.recorder.texts.size(), 1);
    QVERIFY(station.recorder.texts[0].contains(QStringLiteral("modbus-tcp://HOST:PORT")));
    dialog.cmbSets(10)->setCurrentIndex(0);
    dialog.cmbSets(1)->setEditText(QStringLiteral("modbus-tcp://[fd00::5]:502"));
    QVERIFY(!dialog.cmdOkClick());
    QVERIFY(station.recorder.texts.last().contains(QStringLiteral("protocol 2")));
    dialog.cmdTestPortClick();
    QVERIFY(dialog.lblTestPort()->text().contains(QStringLiteral("protocol 2")));
    dialog.cmbSets(10)->setCurrentIndex(1);
    QVERIFY(dialog.cmdOkClick());
    QCOMPARE(sysSettings.LineAddress, QStringLiteral("modbus-tcp://[fd00::5]:502"));
    QCOMPARE(sysSettings.comport, port);
    QVERIFY(loadSystemSettings());
    QCOMPARE(sysSettings.LineAddress, QStringLiteral("modbus-tcp://[fd00::5]:502"));
    frmSysSet reopened;
    reopened.setControls({});
    reopened.loadValues();
    QCOMPARE(reopened.cmbSets(1)->currentText(), QStringLiteral("modbus-tcp://[fd00::5]:502"));
    // Back to a serial port: the address goes.
    reopened.cmbSets(1)->setEditText(QStringLiteral("com1"));
    QVERIFY(reopened.cmdOkClick());
    QVERIFY(sysSettings.LineAddress.isEmpty());
    QCOMPARE(sysSettings.comport, 1);
    setPortDeviceName(1, QString());
    setPortDeviceName(port, QString());
}

void TestAdminDialogs::optionsTabsWrapWithCtrlTab()
{
    Station station;
    frmOptions dialog;
    dialog.show();
    QTabBar *tabs = dialog.tbsOptions();
    tabs->setCurrentIndex(3);
    QCOMPARE(tabs->tabText(3), QStringLiteral("组 4"));
    QTest::keyClick(tabs, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(tabs->currentIndex(), 0);
    QVERIFY(dialog.picOptions(0)->isEnabled());
    QVERIFY(!dialog.picOptions(3)->isEnabled());
    QTest::keyClick(&dialog, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(tabs->currentIndex(), 3);
    QTest::keyClick(&dialog, Qt::Key_Tab, Qt::ControlModifier);
    QTest::keyClick(&dialog, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(tabs->currentIndex(), 1);
    QVERIFY(dialog.picOptions(1)->isVisible() && !dialog.picOptions(0)->isVisible());
}

void TestAdminDialogs::optionsButtonsShowNotices()
{
    Station station;
    frmOptions dialog;
    dialog.show();
    QTest::mouseClick(dialog.cmdApply(), Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QTest::mouseClick(dialog.cmdOK(), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(station.recorder.texts, (QStringList{QStringLiteral("此处添加代码，设置选项无需关闭对话框！"),
                                                  QStringLiteral("此处添加代码，设置选项并关闭对话框！")}));
}

void TestAdminDialogs::setUserStoresTextsAsTyped()
{
    Station station;
    sysSettings.username = QStringLiteral("old user");
    frmSetUser dialog;
    QCOMPARE(dialog.cmbSets(0)->text(), QStringLiteral("old user"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("客户信息"));
    QCOMPARE(dialog.findChild<QGroupBox *>(QStringLiteral("Frame1"))->title(), QStringLiteral("用户信息"));
    const QStringList typed = {QStringLiteral(" 张三 "), QStringLiteral("Full Name "), QStringLiteral("010-1234"),
                               QStringLiteral(" 139"), QStringLiteral("a@b.c")};
    for (int i = 0; i < 5; ++i)
        dialog.cmbSets(i)->setText(typed[i]);
    QTest::mouseClick(dialog.cmdOk(), Qt::LeftButton);
    const auto rs = rsSqlGet(
        QStringLiteral("select username, Userfname, usertelephone, mobilephone, MailAddr from sysset where id=1"));
    QVERIFY(rs && rs->recordCount() == 1);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(rs->rows[0][i].toString(), typed[i]);
    QVERIFY(runningLogText().contains(QStringLiteral("客户信息已保存。")));
    // The save is confirmed where the operator looks, not only in the log.
    QCOMPARE(station.recorder.texts, QStringList{QStringLiteral("客户信息已保存。")});

    // A write that failed is reported as such, never as saved.
    QVERIFY(execSql(QStringLiteral("drop table sysset")));
    clearRunningLog();
    QTest::mouseClick(dialog.cmdOk(), Qt::LeftButton);
    QVERIFY(runningLogText().contains(langText(QStringLiteral("frmSetUser"), QStringLiteral("msgSaveFailed"))));
    QVERIFY(!runningLogText().contains(QStringLiteral("客户信息已保存。")));
}

void TestAdminDialogs::chgPassChecksRepetitionThenOldPassword()
{
    Station station;
    frmChgPass dialog;
    dialog.show();
    const QString caption = dialog.windowTitle();
    auto type = [&dialog](const char *old, const char *first, const char *second) {
        dialog.txtPassword(0)->setText(QString::fromUtf8(old));
        dialog.txtPassword(1)->setText(QString::fromUtf8(first));
        dialog.txtPassword(2)->setText(QString::fromUtf8(second));
        QTest::mouseClick(dialog.cmdOK(), Qt::LeftButton);
    };
    // Wrong old password and a repetition differing in case: the repetition is reported.
    type("wrong", "Secret", "secret");
    type("wrong", "Secret", "Secret");
    // A fresh system: the empty old password.
    type("", "Secret", "Secret");
    QCOMPARE(station.recorder.texts,
             (QStringList{langText("frmChgPass", "msgNewPassNotConsist"), langText("frmChgPass", "msgOldPassNotCorrect"),
                          langText("frmChgPass", "msgPassChangeOK")}));
    QCOMPARE(station.recorder.titles, (QStringList{caption, QStringLiteral("Vantoro"), caption}));
    QCOMPARE(station.recorder.icons,
             (QList<MessageIcon>{MessageIcon::Information, MessageIcon::None, MessageIcon::Information}));
    QCOMPARE(caption, QStringLiteral("密码修改"));
    QCOMPARE(dialog.txtPassword(1)->text(), QStringLiteral("Secret"));
    QVERIFY(isPasswordHash(userValue(UserKeys::UserPass)));
    QVERIFY(checkOperatorPassword(QStringLiteral("Secret")));

    // A store that cannot be written (here: a folder where its file goes,
    // which also reads as empty) is reported, not taken for a change.
    const QString store =
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Vantoro"), QStringLiteral("Vantoro"))
            .fileName();
    const QString kept = store + QStringLiteral(".kept");
    QVERIFY(QFile::rename(store, kept));
    QVERIFY(QDir().mkpath(store));
    station.recorder.texts.clear();
    type("", "Other", "Other");
    QDir(store).removeRecursively();
    QVERIFY(QFile::rename(kept, store));
    QCOMPARE(station.recorder.texts, QStringList{langText("frmChgPass", "msgPassNotStored")});
}

void TestAdminDialogs::setWarningListsAndMoves()
{
    Station station;
    ParamsRows rows = loadParamsRows();
    frmSetWarning dialog(nullptr, {}, &rows);
    QListWidget *left = dialog.list1(0);
    QListWidget *right = dialog.list1(1);
    const QStringList unwatched = listTexts(left);
    QCOMPARE(unwatched, (QStringList{"通讯地址", "数据时间", "累计发电量", "状态字", "运行状态", "功率降额"}));
    QCOMPARE(right->count(), 20);
    QVERIFY(!listTexts(left).contains(QStringLiteral("交流输出频率")));
    QVERIFY(!listTexts(right).contains(QStringLiteral("交流输出频率")));

    // "<" on the last entry selects the new last entry.
    right->setCurrentRow(right->count() - 1);
    const QString last = right->item(right->count() - 1)->text();
    dialog.cmdRemoveClick();
    QCOMPARE(left->item(left->count() - 1)->text(), last);
    QVERIFY(selectedIn(right, right->count() - 1));
    QVERIFY(left->selectedItems().isEmpty());

    // ">" in the middle selects the entry that took its place.
    left->setCurrentRow(1);
    dialog.cmdAddClick();
    QCOMPARE(right->item(right->count() - 1)->text(), QStringLiteral("数据时间"));
    QVERIFY(selectedIn(left, 1));
    QCOMPARE(left->item(1)->text(), QStringLiteral("累计发电量"));

    const QStringList before = listTexts(left);
    const int rightBefore = right->count();
    dialog.cmdAddAllClick();
    QCOMPARE(left->count(), 0);
    QCOMPARE(left->currentRow(), -1);
    QCOMPARE(listTexts(right).mid(rightBefore), before);

    // Moving without a selection does nothing.
    right->setCurrentRow(-1);
    right->clearSelection();
    dialog.cmdRemoveClick();
    QCOMPARE(left->count(), 0);
    QVERIFY(!dialog.findItem(right, QStringLiteral("no such name")));
    QVERIFY(dialog.findItem(right, QStringLiteral("交流输出电压")));
    QVERIFY(right->selectedItems().isEmpty());
}

void TestAdminDialogs::setWarningEditsBounds()
{
    Station station;
    ParamsRows rows = loadParamsRows();
    frmSetWarning dialog(nullptr, {}, &rows);
    selectByText(dialog.list1(1), QStringLiteral("交流输出电压"));
    QVERIFY(dialog.frameBounds()->isEnabled());
    QCOMPARE(dialog.cmbBound(0)->currentText(), QStringLiteral("198"));
    QCOMPARE(dialog.cmbBound(1)->currentText(), QStringLiteral("253"));
    QCOMPARE(dialog.lblBoundUnit()->text(), QStringLiteral("V"));
    QVERIFY(!dialog.cmdBoundOk()->isEnabled());

    // Only numbers are taken: a comma would shift the file's fields.
    for (const char *bad : {" 300x", "1,5", ""}) {
        dialog.cmbBound(0)->setEditText(QString::fromUtf8(bad));
        dialog.cmbBound(1)->setEditText(QStringLiteral("200"));
        QTest::mouseClick(dialog.cmdBoundOk(), Qt::LeftButton);
        QVERIFY(dialog.cmdBoundOk()->isEnabled());
        QCOMPARE(rows[2].value(PF_LOWER), QStringLiteral("198"));
    }
    QCOMPARE(station.recorder.texts.size(), 3);
    QVERIFY(station.recorder.texts[1].contains(QStringLiteral("1,5")));
    dialog.cmbBound(0)->setEditText(QStringLiteral(" 300"));
    QVERIFY(dialog.cmdBoundOk()->isEnabled());
    QTest::mouseClick(dialog.cmdBoundOk(), Qt::LeftButton);
    QVERIFY(!dialog.cmdBoundOk()->isEnabled());
    QCOMPARE(rows[2].value(PF_LOWER), QStringLiteral("300"));
    QCOMPARE(rows[2].value(PF_UPPER), QStringLiteral("200"));

    // Fixed bounds and the left list disable the editing.
    selectByText(dialog.list1(1), QStringLiteral("直流欠压保护"));
    QVERIFY(!dialog.frameBounds()->isEnabled());
    QVERIFY(!dialog.cmdBoundOk()->isEnabled());
    selectByText(dialog.list1(1), QStringLiteral("交流输出电压"));
    QVERIFY(dialog.frameBounds()->isEnabled());
    QCOMPARE(dialog.cmbBound(0)->currentText(), QStringLiteral("300"));
    selectByText(dialog.list1(0), QStringLiteral("状态字"));
    QVERIFY(!dialog.frameBounds()->isEnabled());
}

void TestAdminDialogs::setWarningSaveWritesTheFile()
{
    Station station;
    const QString file = station.home.file(QStringLiteral("PARAMS.INI"));
    QStringList original = gbkLines(file);
    QCOMPARE(original.size(), 32);
    // An unused row marked as watched must come back exactly so.
    QVERIFY(original[11].startsWith(QStringLiteral("9,0,")));
    original[11].chop(1);
    original[11] += QLatin1Char('1');
    original.insert(5, QString());
    writeGbkLines(file, original);
    original.removeAt(5);

    ParamsRows rows = loadParamsRows();
    int structureRebuilds = 0;
    frmSetWarning dialog(nullptr, [&structureRebuilds] { ++structureRebuilds; }, &rows);
    selectByText(dialog.list1(0), QStringLiteral("状态字"));
    dialog.cmdAddClick();
    selectByText(dialog.list1(1), QStringLiteral("交流输出电流"));
    dialog.cmdRemoveClick();
    selectByText(dialog.list1(1), QStringLiteral("直流输入电压"));
    dialog.cmbBound(0)->setEditText(QStringLiteral("120.5"));
    dialog.cmbBound(1)->setEditText(QStringLiteral("5e2"));
    dialog.cmdBoundOkClick();
    QTest::mouseClick(dialog.cmdSave(), Qt::LeftButton);

    QCOMPARE(structureRebuilds, 1);
    QVERIFY(dialog.cmdSave()->isEnabled());
    QVERIFY(station.recorder.texts.isEmpty());
    const QStringList saved = gbkLines(file);
    QCOMPARE(saved.size(), 32);
    QCOMPARE(saved.mid(0, 2), original.mid(0, 2));
    QCOMPARE(saved[11], original[11]);
    QCOMPARE(saved[12], original[12].left(original[12].size() - 1) + QLatin1Char('1')); // 状态字 now watched
    QVERIFY(saved[5].startsWith(QStringLiteral("3,1,交流输出电流,")) && saved[5].endsWith(QStringLiteral(",0")));
    QCOMPARE(saved[6], QStringLiteral("4,1,直流输入电压,V,0,120.5,5e2,VDC,0.1,0.0,1"));
    QCOMPARE(gbkLines(station.home.file(QStringLiteral("PARAMS.TMP"))), saved);
}

void TestAdminDialogs::parSet3ShowsEnabledRowsUnderChineseTitles()
{
    Station station;
    int portCloses = 0;
    frmParSet3 dialog(nullptr, [&portCloses] { ++portCloses; });
    dialog.setPauseScale(0);
    dialog.show();
    QVERIFY(portCloses >= 1);
    QCOMPARE(dialog.grid().rowCount(), dbCount("select count(*) from paraset where ENABLED<>0"));
    QVERIFY(dialog.grid().rowCount() < 30);
    QCOMPARE(gridRowOf(dialog.grid(), 9), -1);

    const QStringList titles = {"设备ID", "参数ID",   "编码",     "名称",  "启用",  "当前值", "倍数",
                                "格式",   "单位",     "低限",     "高限",  "有效低限", "有效高限", "类型",
                                "状态1",  "状态0",    "异常",     "模块",  "告警",  "更新",   "更新时间"};
    QHeaderView *header = dialog.grdDataGrid()->horizontalHeader();
    QStringList shown;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical))
            shown << dialog.grid().model()->headerData(logical, Qt::Horizontal).toString();
    }
    QCOMPARE(shown, titles);

    QTest::mouseClick(dialog.chkViewAll(), Qt::LeftButton);
    QCOMPARE(dialog.grid().rowCount(), 30);
    for (int row = 0; row < 30; ++row)
        QCOMPARE(gridRowOf(dialog.grid(), row), row);
    QTest::mouseClick(dialog.chkViewAll(), Qt::LeftButton);
    QCOMPARE(gridRowOf(dialog.grid(), 9), -1);

    QVERIFY(!dialog.cmdRestore()->isEnabled() && !dialog.cmdSaveToDefault()->isEnabled());
    QTest::mouseClick(dialog.chkFactoryMode(), Qt::LeftButton);
    QVERIFY(dialog.cmdRestore()->isEnabled() && dialog.cmdSaveToDefault()->isEnabled());
    QTest::mouseClick(dialog.chkFactoryMode(), Qt::LeftButton);
    QVERIFY(!dialog.cmdRestore()->isEnabled() && !dialog.cmdSaveToDefault()->isEnabled());
}

void TestAdminDialogs::parSet3SaveReloadsParameterTable()
{
    Station station;
    frmParSet3 dialog;
    station.attach(dialog);
    dialog.setPauseScale(0);
    QVERIFY(setGridValue(dialog.grid(), 2, "PARANAME", QStringLiteral("输出电压")));
    QVERIFY(setGridValue(dialog.grid(), 3, "ENABLED", 0));
    // Unsaved edits are neither in the database nor in the table.
    QCOMPARE(dbText("select PARANAME from paraset where PARAID=2"), QStringLiteral("交流输出电压"));
    QVERIFY(gridRowOf(dialog.grid(), 3) >= 0);
    QVERIFY(dialog.cmdUpdateClick());
    QCOMPARE(dbText("select PARANAME from paraset where PARAID=2"), QStringLiteral("输出电压"));
    QCOMPARE(dbText("select ENABLED from paraset where PARAID=3"), QStringLiteral("0"));
    QCOMPARE(station.device.table()[2].paraname, QStringLiteral("输出电压"));
    QCOMPARE(station.device.table()[3].enabled, 0.0);
    QCOMPARE(gridRowOf(dialog.grid(), 3), -1);

    // A deleted row and a new one go in the same batch.
    dialog.grid().setCurrentRow(gridRowOf(dialog.grid(), 29));
    dialog.cmdDeleteClick();
    const int before = dialog.grid().rowCount();
    dialog.cmdAddClick();
    QCOMPARE(dialog.grid().rowCount(), before + 1);
    const int added = dialog.grid().currentRow();
    QCOMPARE(added, before);
    QSqlTableModel *model = dialog.grid().model();
    const QList<std::pair<const char *, QVariant>> values = {
        {"DEVID", QStringLiteral("001")}, {"PARAID", 29}, {"PARANAME", QStringLiteral("自检")}, {"ENABLED", 1}};
    for (const auto &[column, value] : values)
        QVERIFY(dialog.grid().filter()->setData(
            dialog.grid().filter()->index(added, model->fieldIndex(QString::fromLatin1(column))), value));
    QCOMPARE(dbCount("select count(*) from paraset where PARAID=29"), 1);
    QVERIFY(dialog.cmdUpdateClick());
    QCOMPARE(dbCount("select count(*) from paraset"), 30);
    QCOMPARE(dbText("select PARANAME from paraset where PARAID=29"), QStringLiteral("自检"));
    QCOMPARE(station.device.table()[29].paraname, QStringLiteral("自检"));
    QVERIFY(station.recorder.texts.isEmpty());
}

void TestAdminDialogs::parSet3OpenedFromTheMainWindowSavesEdits()
{
    Station station;
    frmMain main(nullptr, std::make_unique<FakeSerialPort>());
    // Closing the port on the way in writes the live values into every row.
    bool saved = false;
    bool done = false;
    bool portLetGo = false;
    QTimer poke;
    connect(&poke, &QTimer::timeout, this, [&] {
        auto *editor = main.findChild<frmParSet3 *>();
        if (done || !editor || !editor->isVisible())
            return;
        done = true;
        portLetGo = !main.port().isOpen() && !main.port().heldForPolling();
        editor->setPauseScale(0);
        saved = setGridValue(editor->grid(), 2, "RANGEU", 260) && editor->cmdUpdateClick();
        editor->accept();
    });
    poke.start(10);
    main.timerReloadData().start(3600 * 1000); // polling on, no tick during the test
    // The port as polling holds it between rounds: the editor has it let go.
    QVERIFY(main.port().open());
    main.port().setHeldForPolling(true);
    main.action(QStringLiteral("mnuParSet"))->trigger();
    QTRY_VERIFY(done);
    QVERIFY(portLetGo);
    QVERIFY(saved);
    QCOMPARE(dbText("select RANGEU from paraset where PARAID=2").toDouble(), 260.0);
    QCOMPARE(main.device()->table()[2].rangeu.value_or(0), 260.0);
    // Polling was on before the editor: it is on again, and the status says so.
    QTRY_VERIFY(!main.findChild<frmParSet3 *>());
    QVERIFY(main.timerReloadData().isActive());
    QCOMPARE(main.findChild<QLabel *>(QStringLiteral("panel_status"))->text(),
             langText(QStringLiteral("frmMain"), QStringLiteral("msgPollingResumed")));
    main.setComOpen(false);
    QVERIFY(station.recorder.texts.isEmpty());

    // Off before: it stays off, and the status says how to switch it on.
    done = false;
    main.action(QStringLiteral("mnuParSet"))->trigger();
    QTRY_VERIFY(done);
    QTRY_VERIFY(!main.findChild<frmParSet3 *>());
    QVERIFY(!main.timerReloadData().isActive());
    QCOMPARE(main.findChild<QLabel *>(QStringLiteral("panel_status"))->text(),
             langText(QStringLiteral("frmMain"), QStringLiteral("msgPollingStaysOff")));
}

void TestAdminDialogs::parSet3FailedSaveKeepsEveryEdit()
{
    Station station;
    frmParSet3 dialog;
    station.attach(dialog);
    dialog.setPauseScale(0);
    const QString before = dbText("select RANGEU from paraset where PARAID=2");
    QVERIFY(setGridValue(dialog.grid(), 2, "RANGEU", 260));
    QVERIFY(setGridValue(dialog.grid(), 3, "RANGEU", 30));
    // The second row goes behind the editor's back: its update hits nothing.
    QVERIFY(execSql(QStringLiteral("create table kept as select * from paraset where PARAID=3")));
    QVERIFY(execSql(QStringLiteral("delete from paraset where PARAID=3")));
    QVERIFY(!dialog.cmdUpdateClick());
    QCOMPARE(station.recorder.texts.size(), 1);
    QVERIFY2(station.recorder.texts[0].contains(QStringLiteral("001/3")), qPrintable(station.recorder.texts[0]));
    QCOMPARE(dbText("select RANGEU from paraset where PARAID=2"), before);

    // With the row back, the next save sends both edits again.
    QVERIFY(execSql(QStringLiteral("insert into paraset select * from kept")));
    QVERIFY(dialog.cmdUpdateClick());
    QCOMPARE(dbText("select RANGEU from paraset where PARAID=2").toDouble(), 260.0);
    QCOMPARE(dbText("select RANGEU from paraset where PARAID=3").toDouble(), 30.0);
    QVERIFY(!dialog.grid().hasPendingEdits());
}

void TestAdminDialogs::parSet3AsksBeforeDroppingEdits()
{
    Station station;
    frmParSet3 dialog;
    station.attach(dialog);
    dialog.setPauseScale(0);
    dialog.show();
    QVERIFY(setGridValue(dialog.grid(), 2, "PARANAME", QStringLiteral("X")));
    station.recorder.saveChoice = SaveChoice::Cancel;
    dialog.cmdRefreshClick();
    QTest::mouseClick(dialog.chkViewAll(), Qt::LeftButton);
    QCOMPARE(station.recorder.questions.size(), 2);
    QVERIFY(!dialog.chkViewAll()->isChecked());
    QVERIFY(dialog.grid().hasPendingEdits());

    station.recorder.saveChoice = SaveChoice::Save;
    QTest::mouseClick(dialog.chkViewAll(), Qt::LeftButton);
    QVERIFY(dialog.chkViewAll()->isChecked());
    QCOMPARE(dialog.grid().rowCount(), 30);
    QCOMPARE(dbText("select PARANAME from paraset where PARAID=2"), QStringLiteral("X"));

    QVERIFY(setGridValue(dialog.grid(), 2, "PARANAME", QStringLiteral("Y")));
    station.recorder.saveChoice = SaveChoice::Discard;
    dialog.cmdRefreshClick();
    QCOMPARE(station.recorder.questions.size(), 4);
    QVERIFY(!dialog.grid().hasPendingEdits());
    QCOMPARE(dbText("select PARANAME from paraset where PARAID=2"), QStringLiteral("X"));
    QVERIFY(station.recorder.texts.isEmpty());
}

void TestAdminDialogs::parSet3FactoryCopies()
{
    Station station;
    // A blank after the stored rating names the same factory table for both copies.
    frmParSet3 dialog;
    station.attach(dialog, QStringLiteral("2K5 "));
    dialog.setPauseScale(0);
    dialog.chkFactoryMode()->setChecked(true);
    QVERIFY(execSql(QStringLiteral("create table before_copy as select * from paraset")));
    QVERIFY(execSql(QStringLiteral("create table factory_before as select * from paraset_2K5")));

    station.recorder.answer = false;
    QVERIFY(!dialog.cmdRestoreClick());
    QVERIFY(!dialog.cmdSaveToDefaultClick());
    QCOMPARE(station.recorder.beeps, 2);
    QCOMPARE(station.recorder.titles, (QStringList{"Info", "Info"}));
    QVERIFY(station.recorder.questions.value(0).contains(QStringLiteral("恢复到系统出厂时的参数")));
    QVERIFY(station.recorder.questions.value(1).contains(QStringLiteral("使用当前用户设置参数")));
    QCOMPARE(tableDifference("paraset", "before_copy"), 0);
    QCOMPARE(tableDifference("paraset_2K5", "factory_before"), 0);

    station.recorder.answer = true;
    QVERIFY(execSql(QStringLiteral("update paraset set RANGEU=777 where PARAID=4")));
    QVERIFY(station.device.loadTable());
    QVERIFY(dialog.cmdRestoreClick());
    QCOMPARE(tableDifference("paraset", "factory_before"), 0);
    // The alarms use the restored limits at once.
    QCOMPARE(station.device.table()[4].rangeu.value_or(0), dbText("select RANGEU from factory_before where PARAID=4").toDouble());
    QVERIFY(dialog.cmdRestore()->isEnabled());
    QCOMPARE(dialog.grid().rowCount(), dbCount("select count(*) from paraset where ENABLED<>0"));

    QVERIFY(execSql(QStringLiteral("update paraset set RANGEU=999 where PARAID=4")));
    QVERIFY(dialog.cmdSaveToDefaultClick());
    QCOMPARE(dbText("select RANGEU from paraset_2K5 where PARAID=4").toDouble(), 999.0);
    QCOMPARE(tableDifference("paraset", "paraset_2K5"), 0);
    QVERIFY(dialog.cmdSaveToDefault()->isEnabled());
    QCOMPARE(station.recorder.texts, QStringList());
}

void TestAdminDialogs::parSet3MissingFactoryTableLeavesParasetWhole()
{
    Station station;
    QVERIFY(execSql(QStringLiteral("create table before_copy as select * from paraset")));
    frmParSet3 dialog;
    station.attach(dialog);
    dialog.setPauseScale(0);
    dialog.chkFactoryMode()->setChecked(true);
    station.recorder.answer = true;
    for (const char *rating : {"7K", "3K'; delete from paraset; --"}) {
        station.attach(dialog, QString::fromLatin1(rating));
        station.recorder.texts.clear();
        QVERIFY(!dialog.cmdRestoreClick());
        QVERIFY(!dialog.cmdSaveToDefaultClick());
        QCOMPARE(station.recorder.texts.size(), 2);
        QVERIFY(station.recorder.texts[0].contains(QStringLiteral("参数表保持原样")));
        QCOMPARE(tableDifference("paraset", "before_copy"), 0);
        QVERIFY(dialog.cmdRestore()->isEnabled());
    }
    QCOMPARE(dbCount("select count(*) from paraset"), 30);
}

void TestAdminDialogs::parasetNavigatesAndBeepsAtTheEnds()
{
    Station station;
    frmparaset editor;
    station.attach(editor);
    editor.show();
    QCOMPARE(editor.windowTitle(), QStringLiteral("参数表"));
    QCOMPARE(editor.grid().rowCount(), 30);
    QCOMPARE(editor.lblStatus()->text(), QStringLiteral("Record: 1"));
    QTest::keyClick(editor.grdDataGrid(), Qt::Key_Up);
    QCOMPARE(station.recorder.beeps, 1);
    QTest::keyClick(editor.grdDataGrid(), Qt::Key_Down);
    QCOMPARE(editor.lblStatus()->text(), QStringLiteral("Record: 2"));
    QTest::keyClick(editor.grdDataGrid(), Qt::Key_End);
    QCOMPARE(editor.grid().currentRow(), 29);
    QTest::keyClick(editor.grdDataGrid(), Qt::Key_Down);
    QCOMPARE(station.recorder.beeps, 2);
    QCOMPARE(editor.grid().currentRow(), 29);
    QCOMPARE(editor.lblStatus()->text(), QStringLiteral("Record: 30"));
    QTest::keyClick(editor.grdDataGrid(), Qt::Key_PageUp, Qt::ControlModifier);
    QCOMPARE(editor.grid().currentRow(), 0);
    editor.cmdNextClick();
    editor.cmdLastClick();
    editor.cmdPreviousClick();
    QCOMPARE(editor.grid().currentRow(), 28);
    QTest::keyClick(editor.grdDataGrid(), Qt::Key_Escape);
    QVERIFY(!editor.isVisible());
}

void TestAdminDialogs::parasetEditStateSavesAndKeepsEscape()
{
    Station station;
    frmparaset editor;
    station.attach(editor);
    editor.show();
    QVERIFY(editor.button(QStringLiteral("cmdAdd"))->isVisible());
    QVERIFY(!editor.button(QStringLiteral("cmdUpdate"))->isVisible());
    editor.cmdEditClick();
    QCOMPARE(editor.lblStatus()->text(), QStringLiteral("Edit record"));
    QVERIFY(!editor.button(QStringLiteral("cmdAdd"))->isVisible());
    QVERIFY(editor.button(QStringLiteral("cmdUpdate"))->isVisible());
    QVERIFY(!editor.button(QStringLiteral("cmdNext"))->isEnabled());
    QTest::keyClick(editor.grdDataGrid(), Qt::Key_Escape);
    QVERIFY(editor.isVisible());

    QVERIFY(setGridValue(editor.grid(), 5, "UNIT", QStringLiteral("mA")));
    QVERIFY(editor.cmdUpdateClick());
    QVERIFY(!editor.isEditing());
    QVERIFY(editor.button(QStringLiteral("cmdAdd"))->isVisible());
    QCOMPARE(dbText("select UNIT from paraset where PARAID=5"), QStringLiteral("mA"));
    QCOMPARE(station.device.table()[5].unit, QStringLiteral("mA"));

    // Cancel drops a new row; Delete writes at once.
    editor.cmdAddClick();
    QVERIFY(editor.isAdding());
    QCOMPARE(editor.grid().rowCount(), 31);
    editor.cmdCancelClick();
    QCOMPARE(editor.grid().rowCount(), 30);
    QCOMPARE(editor.grid().currentRow(), 0);
    editor.grid().setCurrentRow(gridRowOf(editor.grid(), 29));
    QVERIFY(editor.cmdDeleteClick());
    QCOMPARE(dbCount("select count(*) from paraset"), 29);
    QCOMPARE(editor.grid().currentRow(), 28);
    QVERIFY(station.recorder.texts.isEmpty());
}

void TestAdminDialogs::sysSetDevicesPageAddsEditsAndRemoves()
{
    TestHome home;
    MessageRecorder recorder;
    QVERIFY(loadSystemSettings());
    frmSysSet dialog;
    dialog.setControls({});
    QVERIFY(dialog.loadValues());
    auto *page = dynamic_cast<DevicesSettingsPage *>(dialog.findChild<QWidget *>(QStringLiteral("pageDevices")));
    QVERIFY(page);
    QCOMPARE(page->table()->rowCount(), 1);
    const QStringList ratings = factoryRatings();

    // An address another device has is refused where it is typed.
    DeviceRecord second = DeviceEditDialog::newDevice(page->devices(), ratings);
    QCOMPARE(second.id, QStringLiteral("002"));
    QCOMPARE(second.address, 2);
    second.address = 1;
    DeviceEditDialog edit(second, page->devices(), ratings, true);
    QVERIFY2(edit.problemLabel()->text().contains(QLatin1String("001")), qPrintable(edit.problemLabel()->text()));
    edit.accept();
    QCOMPARE(edit.result(), int(QDialog::Rejected));
    QCOMPARE(recorder.texts.size(), 1);
    edit.addressField()->setValue(2);
    QVERIFY(edit.problemLabel()->text().isEmpty());
    edit.accept();
    QCOMPARE(edit.result(), int(QDialog::Accepted));

    std::optional<DeviceRecord> answer = edit.record();
    page->setEditor([&answer](const DeviceRecord &, const QList<DeviceRecord> &, const QStringList &, bool) {
        return answer;
    });
    page->addClicked();
    QCOMPARE(page->table()->rowCount(), 2);
    QCOMPARE(page->table()->item(1, 2)->text(), QStringLiteral("2"));
    QCOMPARE(rsSqlGet(QStringLiteral("select count(*) from paraset where DEVID='002'"))->rows[0][0].toInt(), 30);

    // The first device edited here: the station page follows, so Save keeps it.
    answer = page->devices().first();
    answer->name = QStringLiteral("South");
    answer->address = 9;
    page->table()->selectRow(0);
    page->editClicked();
    QCOMPARE(dialog.cmbSets(0)->currentText(), QStringLiteral("South"));
    QCOMPARE(dialog.device().address, 9);
    QVERIFY(!dialog.hasUnsavedEdits());
    QVERIFY(dialog.cmdOkClick());
    const auto first = rsSqlGet(QStringLiteral("select devname, devaddr from devices where id='001'"));
    QCOMPARE(first->text(0, QStringLiteral("devname")), QStringLiteral("South"));
    QCOMPARE(first->value(0, QStringLiteral("devaddr")).toInt(), 9);
    // ... and its address field cannot take the second device's address.
    dialog.cmbSets(9)->setCurrentText(QStringLiteral("2"));
    QVERIFY(!dialog.cmdOkClick());
    QVERIFY2(recorder.texts.last().contains(QLatin1String("002")), qPrintable(recorder.texts.last()));
    QCOMPARE(rsSqlGet(QStringLiteral("select devaddr from devices where id='001'"))->rows[0][0].toInt(), 9);

    // Removing asks first; the tick takes the device's events with it.
    execSql(QStringLiteral("insert into eventlog (devid, eventname, logtime) values ('002', 'lost', '2026-06-01 10:00:00')"));
    page->table()->selectRow(1);
    page->setRemoveQuestion([](const DeviceRecord &) { return std::optional<bool>(); });
    page->removeClicked();
    QCOMPARE(page->table()->rowCount(), 2);
    page->setRemoveQuestion([](const DeviceRecord &device) {
        return std::optional<bool>(device.id == QStringLiteral("002"));
    });
    page->removeClicked();
    QCOMPARE(page->table()->rowCount(), 1);
    QCOMPARE(rsSqlGet(QStringLiteral("select count(*) from eventlog where devid='002'"))->rows[0][0].toInt(), 0);
    // The last device cannot be removed.
    page->table()->selectRow(0);
    QVERIFY(!page->findChild<QPushButton *>(QStringLiteral("cmdRemoveDevice"))->isEnabled());
}

QTEST_MAIN(TestAdminDialogs)
#include "tst_admin_dialogs.moc"
