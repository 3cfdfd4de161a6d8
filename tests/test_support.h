// Shared test fixtures: a private VANTORO_HOME with a fresh copy of the
// default files, a private settings store, and a message recorder.
#pragma once

#include "plant/device.h"

#include "core/message_service.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace vantoro::test {

// Call first in initTestCase: isolates the per-user store from the real one.
void isolateUserSettings();

// A temporary VANTORO_HOME holding copies of the built default files.
class TestHome
{
public:
    explicit TestHome(bool withDefaults = true);
    ~TestHome();
    QString path() const;
    QString file(const QString &name) const;
    // Copies one built default file (database, INI, language files) in.
    void copyDefault(const QString &name) const;
    // Without its language files every message reads as its key.
    void removeLanguageFiles() const;

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_oldHome;
};

// Makes SQLite open the database read-only whoever runs the test (root
// included): a write version above 2 in its header means "read only".
void makeDatabaseReadOnly(const QString &path);

// The station set to poll one device: port 1 at 9600 baud, no retries; the
// device "001" at address 1, named "INV", meter counter on, the link up.
DeviceRecord pollOneDevice(int version, double timeoutSeconds);

// As if a reply had written every loaded parameter: values a test sets by
// hand are judged.
void markValuesReceived(ParamTable &table);

// Records every message and answers questions with a preset reply.
class MessageRecorder : public MessageService
{
public:
    MessageRecorder();
    ~MessageRecorder() override;
    void show(const QString &title, const QString &text, MessageIcon icon) override;
    bool askYesNo(const QString &title, const QString &text) override;
    SaveChoice askSaveDiscard(const QString &title, const QString &text) override;
    void beep() override { ++beeps; }

    QStringList texts;
    QStringList titles;
    QList<MessageIcon> icons;
    QStringList questions;
    bool answer = false;
    SaveChoice saveChoice = SaveChoice::Cancel;
    int beeps = 0;
};

// A case of a service's test: a home of its own with the default files and
// the database upgraded, the system settings loaded with debug mode off and
// `language` chosen, no event held back by the throttle, an empty running
// log, and every message recorded.
class ServiceCase
{
public:
    explicit ServiceCase(int language);
    // False when the system settings could not be loaded.
    bool ready() const { return m_ready; }

    TestHome home;
    MessageRecorder messages;

private:
    bool m_ready = false;
};

} // namespace vantoro::test
