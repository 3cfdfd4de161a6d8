// Console fallback of the message service, used before a window exists.
#include "core/message_service.h"

#include <QTextStream>

namespace vantoro {

namespace {

class ConsoleMessages : public MessageService
{
public:
    void show(const QString &title, const QString &text, MessageIcon) override
    {
        QTextStream(stderr) << title << ": " << text << Qt::endl;
    }
    bool askYesNo(const QString &title, const QString &text) override
    {
        QTextStream(stderr) << title << ": " << text << " -> No" << Qt::endl;
        return false;
    }
    void beep() override {}
};

ConsoleMessages consoleMessages;
MessageService *current = nullptr;

} // namespace

MessageService &messages()
{
    return current ? *current : consoleMessages;
}

void setMessageService(MessageService *service)
{
    current = service;
}

} // namespace vantoro
