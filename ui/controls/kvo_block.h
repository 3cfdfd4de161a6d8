// The power-flow block controls (rectifier, battery, inverter): a picture
// that alternates with its alarm picture while the block is in error.
#pragma once

#include "core/property_bag.h"

#include <QFont>
#include <QImage>
#include <QTimer>
#include <QWidget>

namespace vantoro {

enum class BlockKind { Rectifier, Battery, Inverter };

// The block's picture, normal or alarm, drawn into `rect` (kept to the
// picture's design proportions and centred there).
void paintBlockPicture(QPainter &p, const QRectF &rect, BlockKind kind, bool alarm);
// The picture's design size in pixels (66 x 48, the battery 65 x 46).
QSize blockPictureSize(BlockKind kind);

class KvoBlock : public QWidget
{
    Q_OBJECT
public:
    static constexpr int DEFAULT_INTERVAL_MS = 1000;

    explicit KvoBlock(BlockKind kind, QWidget *parent = nullptr);
    ~KvoBlock() override;

    BlockKind kind() const { return m_kind; }

    quint32 foreColor() const { return m_foreColor; }
    void setForeColor(quint32 colour);
    bool enabledProperty() const { return m_enabled; }
    void setEnabledProperty(bool enabled);
    QFont blockFont() const { return font(); }
    void setBlockFont(const QFont &f);
    int backStyle() const { return m_backStyle; }
    void setBackStyle(int style);
    int borderStyle() const { return m_borderStyle; }
    void setBorderStyle(int style);
    quint32 backColor() const { return m_backColor; }
    void setBackColor(quint32 colour);
    int interval() const { return m_timer.interval(); }
    void setInterval(int ms);
    bool error() const { return m_error; }
    void setError(bool error);
    // The picture shown now, at the control's size. The two own pictures are
    // drawn, not stored; only a picture set from outside is saved.
    QImage picture() const;
    void setPicture(const QImage &image);
    // Which of the two own pictures is shown: 0 normal, 1 alarm; -1 while a
    // picture set from outside is shown.
    int shownImage() const { return m_custom.isNull() ? m_shown : -1; }
    bool isBlinking() const { return m_timer.isActive(); }

    void refresh() { update(); }
    // One blink step, as the timer runs it.
    void tick();

    void readProperties(const PropertyBag &bag);
    void writeProperties(PropertyBag &bag) const;

signals:
    void propertyChanged(const QString &name);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void showImage(int image);

    BlockKind m_kind;
    QTimer m_timer;
    QImage m_custom;
    quint32 m_foreColor = 0;
    quint32 m_backColor = 0;
    int m_backStyle = 0;
    int m_borderStyle = 0;
    int m_shown = 0;
    bool m_enabled = false;
    bool m_error = false;
    bool m_errorShown = false;
    bool m_blinkPhase = false;
};

// The three blocks as the diagrams name them.
class kvoA2D : public KvoBlock
{
public:
    explicit kvoA2D(QWidget *parent = nullptr) : KvoBlock(BlockKind::Rectifier, parent) {}
};

class kvoBat : public KvoBlock
{
public:
    explicit kvoBat(QWidget *parent = nullptr) : KvoBlock(BlockKind::Battery, parent) {}
};

class kvoD2A : public KvoBlock
{
public:
    explicit kvoD2A(QWidget *parent = nullptr) : KvoBlock(BlockKind::Inverter, parent) {}
};

} // namespace vantoro
