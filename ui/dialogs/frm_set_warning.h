// The warning bounds editor: which quantities of "PARAMS.INI" are watched,
// and their warning bounds; the file is rewritten on save.
#pragma once

#include "core/params_file.h"

#include <QList>
#include <QWidget>
#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace vantoro {

class frmSetWarning : public QWidget
{
public:
    // Works on `rows` (the station's row list when null); `structureChanged`
    // is called after a save so the owner can rebuild its grid.
    explicit frmSetWarning(QWidget *owner = nullptr, std::function<void()> structureChanged = {},
                           ParamsRows *rows = nullptr);

    // Opens the one dialog owned by `owner`, or brings the open one forward.
    static frmSetWarning *showSetWarning(QWidget *owner, std::function<void()> structureChanged);

    void loadDevData();
    // Moves the selected entry of `from` to the end of `to`; the entry at its
    // place (or the new last one) becomes selected in `from`.
    void moveListItem(QListWidget *from, QListWidget *to);
    // Exact, case-sensitive; leaves the list without a selection.
    bool findItem(QListWidget *list, const QString &name);
    void setBoundsEnable(bool enabled);
    // Writes the watched flags and the file; false (with a message) on failure.
    bool saveParamSet();

    void cmdAddClick();
    void cmdAddAllClick();
    void cmdRemoveClick();
    void cmdRemoveAllClick();
    void cmdBoundOkClick();
    void cmdSaveClick();

    QListWidget *list1(int index) const { return m_list1.value(index); }
    QComboBox *cmbBound(int index) const { return m_cmbBound.value(index); }
    QGroupBox *frameBounds() const { return m_frameBounds; }
    QLabel *lblBoundUnit() const { return m_lblBoundUnit; }
    QPushButton *cmdBoundOk() const { return m_cmdBoundOk; }
    QPushButton *cmdSave() const { return m_cmdSave; }
    const ParamsRows &rows() const { return *m_rows; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void list1Click(int index);
    int selectedRow(QListWidget *list) const;
    static void addParameterItem(QListWidget *list, const QString &storedName, const QString &shown);
    static QString storedName(const QListWidgetItem *item);

    std::function<void()> m_structureChanged;
    ParamsRows *m_rows = nullptr;
    QList<QListWidget *> m_list1;
    QList<QComboBox *> m_cmbBound;
    QGroupBox *m_frameBounds = nullptr;
    QLabel *m_lblbound = nullptr;
    QLabel *m_lblBoundUnit = nullptr;
    QPushButton *m_cmdBoundOk = nullptr;
    QPushButton *m_cmdSave = nullptr;
    QPushButton *m_cmdQuit = nullptr;
};

} // namespace vantoro
