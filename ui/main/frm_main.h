// The station's main window.
#pragma once

#include "ui/language.h"

#include <QMainWindow>

namespace vantoro {

class frmMain : public QMainWindow, public LanguageAware
{
public:
    explicit frmMain(QWidget *parent = nullptr);

    QString myCaption;
    bool bFoundError = false;
    QString sErrorString;
    bool bFormLoaded = false;

    // The caption rule: myCaption + " [" + devname + " - QZ" + devpower + "]".
    void updateTitle();
    // A quit asked by the operating system: no question, everything saved.
    void requestOperatingSystemQuit();
    // Brings the window to the front for a second instance; false when hidden.
    bool raiseForSecondInstance();

    void languageApplied(int language) override;

    static int twipsToPixels(double twips, const QWidget *w);
    static double pixelsToTwips(int pixels, const QWidget *w);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void loadWindowPosition();
    void saveWindowPosition();
    bool m_osQuit = false;
};

} // namespace vantoro
