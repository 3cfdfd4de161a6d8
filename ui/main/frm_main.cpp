// The main window: caption, position and the quit procedure.
#include "ui/main/frm_main.h"

#include "core/common.h"
#include "core/localisation.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "ui/form_utils.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QTimer>

namespace vantoro {

namespace {

constexpr double TWIPS_PER_INCH = 1440.0;

double logicalDpi(const QWidget *w)
{
    const QScreen *screen = w && w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchX() : 96.0;
}

} // namespace

frmMain::frmMain(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Vantoro 光伏逆变器监控站"));
    loadWindowPosition();
    applyLanguage(this, sysSettings.languageIndex);
    myCaption = windowTitle();
    updateTitle();
}

int frmMain::twipsToPixels(double twips, const QWidget *w)
{
    return int(std::lround(twips * logicalDpi(w) / TWIPS_PER_INCH));
}

double frmMain::pixelsToTwips(int pixels, const QWidget *w)
{
    return pixels * TWIPS_PER_INCH / logicalDpi(w);
}

void frmMain::updateTitle()
{
    setWindowTitle(myCaption + QStringLiteral(" [") + sysSettings.devname + QStringLiteral(" - QZ")
                   + sysSettings.devpower + QStringLiteral("]"));
}

void frmMain::languageApplied(int)
{
}

void frmMain::loadWindowPosition()
{
    const double left = leadingNumber(userValue(UserKeys::MainLeft));
    const double top = leadingNumber(userValue(UserKeys::MainTop));
    const double width = leadingNumber(userValue(UserKeys::MainWidth));
    const double height = leadingNumber(userValue(UserKeys::MainHeight));
    resize(qMax(200, twipsToPixels(width, this)), qMax(150, twipsToPixels(height, this)));
    move(twipsToPixels(left, this), twipsToPixels(top, this));
}

void frmMain::saveWindowPosition()
{
    const QRect g = geometry();
    const QPoint pos = frameGeometry().topLeft();
    auto single = [](double v) { return QString::number(float(v)); };
    setUserValue(UserKeys::MainLeft, single(pixelsToTwips(pos.x(), this)));
    setUserValue(UserKeys::MainTop, single(pixelsToTwips(pos.y(), this)));
    setUserValue(UserKeys::MainWidth, single(pixelsToTwips(g.width(), this)));
    setUserValue(UserKeys::MainHeight, single(pixelsToTwips(g.height(), this)));
}

void frmMain::requestOperatingSystemQuit()
{
    m_osQuit = true;
    quitRequested = true;
    close();
}

bool frmMain::raiseForSecondInstance()
{
    if (!isVisible())
        return false;
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    return true;
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (!quitRequested && sysSettings.debugMode == 0 && isVisible() && !m_osQuit) {
        const QString question = langText(QStringLiteral("frmMain"), QStringLiteral("msgWillQuit")) + QStringLiteral("\r\n")
            + langText(QStringLiteral("frmMain"), QStringLiteral("msgContinue"));
        if (!confirmYesNo(QStringLiteral("Info"), question)) {
            event->ignore();
            return;
        }
    }
    saveSystemSettings();

    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w != this && w->isVisible())
            w->close();
    }
    if (windowState() == Qt::WindowNoState)
        saveWindowPosition();
    quitRequested = true;
    event->accept();
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

} // namespace vantoro
