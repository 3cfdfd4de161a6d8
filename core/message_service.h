// The one way the station shows message boxes and beeps, so the core can
// report without widgets and tests can intercept and answer every message.
#pragma once

#include <QString>

namespace vantoro {

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class SaveChoice { Save, Discard, Cancel };

class MessageService
{
public:
    virtual ~MessageService() = default;
    virtual void show(const QString &title, const QString &text, MessageIcon icon) = 0;
    // Shows a message and returns at once: for reports from the poll path,
    // which must run on while the box waits for the operator.
    virtual void notify(const QString &title, const QString &text, MessageIcon icon) { show(title, text, icon); }
    // A Yes/No question with No as the default; true for Yes.
    virtual bool askYesNo(const QString &title, const QString &text) = 0;
    // Unsaved edits about to be dropped: save them, drop them, or stop.
    // Without a window nobody can answer, so nothing is dropped.
    virtual SaveChoice askSaveDiscard(const QString &, const QString &) { return SaveChoice::Cancel; }
    virtual void beep() = 0;
};

// The service in use; a plain console one until the window installs its own.
MessageService &messages();
// Installs a service (not owned); nullptr restores the console service.
void setMessageService(MessageService *service);

} // namespace vantoro
