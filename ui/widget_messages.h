// The message service of the running station: real message boxes.
#pragma once

#include "core/message_service.h"

namespace vantoro {

class WidgetMessages : public MessageService
{
public:
    void show(const QString &title, const QString &text, MessageIcon icon) override;
    // A box without an event loop of its own; one that is still open is not
    // opened a second time.
    void notify(const QString &title, const QString &text, MessageIcon icon) override;
    bool askYesNo(const QString &title, const QString &text) override;
    SaveChoice askSaveDiscard(const QString &title, const QString &text) override;
    void beep() override;
};

} // namespace vantoro
