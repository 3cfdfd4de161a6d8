// Form localisation by object name and control-array index.
#include "ui/language.h"

#include "core/localisation.h"
#include "core/profile_file.h"
#include "core/system_settings.h"
#include "ui/form_utils.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QWidget>

namespace vantoro {

namespace {

QString controlKey(const QObject *control)
{
    if (hasIndex(control))
        return control->objectName() + QLatin1Char('[') + QString::number(controlIndex(control)) + QLatin1Char(']');
    return control->objectName();
}

void setCaption(QObject *control, const QString &text)
{
    if (hasCaptionText(control)) {
        control->setProperty("CaptionText", text);
    } else if (auto *menu = qobject_cast<QMenu *>(control)) {
        menu->setTitle(text);
    } else if (auto *action = qobject_cast<QAction *>(control)) {
        action->setText(text);
    } else if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        button->setText(text);
    } else if (auto *label = qobject_cast<QLabel *>(control)) {
        // A label that shows a picture (a status bar switch) keeps it: its
        // text in the language file is its tool tip.
        if (label->pixmap().isNull())
            label->setText(text);
    } else if (auto *group = qobject_cast<QGroupBox *>(control)) {
        group->setTitle(text);
    }
}

} // namespace

void useQtTranslations(int language)
{
    static int installed = 0;
    static QTranslator *translator = nullptr;
    const int wanted = language == LANGUAGE_ENGLISH ? LANGUAGE_ENGLISH : LANGUAGE_CHINESE;
    if (wanted == installed || !QCoreApplication::instance())
        return;
    installed = wanted;
    if (translator) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
        translator = nullptr;
    }
    if (wanted != LANGUAGE_CHINESE)
        return;
    // Without the translations package the buttons stay English; nothing else changes.
    auto *loaded = new QTranslator(QCoreApplication::instance());
    if (!loaded->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete loaded;
        return;
    }
    QCoreApplication::installTranslator(loaded);
    translator = loaded;
}

void applyLanguage(QWidget *form, int language)
{
    if (!form)
        return;
    sysSettings.languageIndex = language;
    useQtTranslations(language);
    const QString file = languageFile(language);
    const QString section = form->objectName();

    const QString caption = readIni(section, QStringLiteral("Caption"), form->windowTitle(), file);
    form->setWindowTitle(expandLineBreaks(caption));

    const QList<QObject *> controls = form->findChildren<QObject *>();
    for (QObject *control : controls) {
        if (control->objectName().isEmpty() || control->objectName().startsWith(QLatin1String("qt_")))
            continue;
        const QString text = readIni(section, controlKey(control), QString(), file);
        if (text.isEmpty())
            continue;
        setCaption(control, expandLineBreaks(text));
    }
    if (auto *aware = dynamic_cast<LanguageAware *>(form))
        aware->languageApplied(language);
    storeLanguage(language);
}

} // namespace vantoro
