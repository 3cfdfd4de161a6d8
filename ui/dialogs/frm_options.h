// The options dialog: four tabbed pages kept as placeholders; its buttons
// only show notices.
#pragma once

#include <QDialog>
#include <QList>

class QGroupBox;
class QPushButton;
class QTabBar;
class QWidget;

namespace vantoro {

class frmOptions : public QDialog
{
public:
    explicit frmOptions(QWidget *owner = nullptr);

    QTabBar *tbsOptions() const { return m_tabs; }
    QWidget *picOptions(int index) const { return m_pages.value(index); }
    QPushButton *cmdOK() const { return m_cmdOK; }
    QPushButton *cmdApply() const { return m_cmdApply; }
    QPushButton *cmdCancel() const { return m_cmdCancel; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void tabClicked();

    QTabBar *m_tabs = nullptr;
    QList<QWidget *> m_pages;
    QPushButton *m_cmdOK = nullptr;
    QPushButton *m_cmdCancel = nullptr;
    QPushButton *m_cmdApply = nullptr;
};

} // namespace vantoro
