// Re-captions a form from the language file of the chosen language.
#pragma once

class QWidget;

namespace vantoro {

// A form that has more to re-caption than its controls (tool tips, check
// marks, grid headings) implements this.
class LanguageAware
{
public:
    virtual ~LanguageAware() = default;
    virtual void languageApplied(int language) = 0;
};

void applyLanguage(QWidget *form, int language);
// Qt's own texts (message box buttons, context menus) in `language`.
void useQtTranslations(int language);

} // namespace vantoro
