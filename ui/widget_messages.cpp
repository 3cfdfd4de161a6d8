// Message boxes for the station's messages.
#include "ui/widget_messages.h"

#include <QApplication>
#include <QMessageBox>

namespace vantoro {

namespace {

const char *const notifyProperty = "vantoroNotify";

QMessageBox::Icon boxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void WidgetMessages::show(const QString &title, const QString &text, MessageIcon icon)
{
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

void WidgetMessages::notify(const QString &title, const QString &text, MessageIcon icon)
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        auto *open = qobject_cast<QMessageBox *>(w);
        if (open && open->isVisible() && open->property(notifyProperty).toBool() && open->windowTitle() == title
            && open->text() == text)
            return;
    }
    auto *box = new QMessageBox(boxIcon(icon), title, text, QMessageBox::Ok, QApplication::activeWindow());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setProperty(notifyProperty, true);
    box->open();
}

bool WidgetMessages::askYesNo(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

SaveChoice WidgetMessages::askSaveDiscard(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save: return SaveChoice::Save;
    case QMessageBox::Discard: return SaveChoice::Discard;
    default: return SaveChoice::Cancel;
    }
}

void WidgetMessages::beep()
{
    QApplication::beep();
}

} // namespace vantoro
