// The customer information dialog: the five customer texts of the settings
// record, saved to the database.
#pragma once

#include <QList>
#include <QWidget>

class QLineEdit;
class QPushButton;

namespace vantoro {

class frmSetUser : public QWidget
{
public:
    explicit frmSetUser(QWidget *owner = nullptr);

    // Opens the one dialog owned by `owner`, or brings the open one forward.
    static frmSetUser *showSetUser(QWidget *owner);

    // Copies the customer texts of the in-memory settings into the fields.
    void loadValues();
    // Stores the texts as typed and saves the settings; the dialog stays open.
    void cmdOkClick();

    QLineEdit *cmbSets(int index) const { return m_cmbSets.value(index); }
    QPushButton *cmdOk() const { return m_cmdOk; }
    QPushButton *cmdQuit() const { return m_cmdQuit; }

private:
    QList<QLineEdit *> m_cmbSets;
    QPushButton *m_cmdOk = nullptr;
    QPushButton *m_cmdQuit = nullptr;
};

} // namespace vantoro
