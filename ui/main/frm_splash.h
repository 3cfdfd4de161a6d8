// The splash window shown while the station starts.
#pragma once

#include <QWidget>

class QLabel;

namespace vantoro {

class frmSplash : public QWidget
{
public:
    explicit frmSplash(QWidget *parent = nullptr);
    QString versionText() const;

private:
    QLabel *m_lblProductName;
    QLabel *m_lblVersion;
};

} // namespace vantoro
