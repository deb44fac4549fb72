#pragma once
// An image button painted from one bitmap of three frames side by side:
// frame 0 the normal look, frame 1 pressed (or selected), frame 2 hovered
// (or focused). Loading the bitmap sizes the button to one frame.

#include <QAbstractButton>
#include <QPixmap>

class CHoverButton2 : public QAbstractButton {
    Q_OBJECT
public:
    explicit CHoverButton2(QWidget* parent = nullptr);

    // Loads a skin bitmap (a resource path such as ":/kestrel/153.png", its
    // "@2x" twin on high-density screens) and resizes the button to one
    // frame, keeping its position. False when the bitmap does not load.
    bool LoadBitmap(const QString& resource);

    // Selected keeps the pressed look (the current category).
    void SetSelected(bool selected);
    [[nodiscard]] bool IsSelected() const { return selected_; }

    // The frame the button shows now: 0, 1 or 2.
    [[nodiscard]] int CurrentFrame() const;
    [[nodiscard]] QString BitmapName() const { return resource_; }

    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPixmap bitmap_;
    QString resource_;
    QSize frame_;
    bool selected_ = false;
    bool hovered_ = false;
};
