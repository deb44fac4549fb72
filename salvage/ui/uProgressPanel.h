#pragma once
// Status panel 1: the progress of the running worker, a bar in the system's
// highlight colour drawn over (width x percent / 100) of the panel.

#include <QWidget>

namespace salvage::ui {

class TProgressPanel final : public QWidget {
    Q_OBJECT
public:
    explicit TProgressPanel(QWidget* parent = nullptr);

    void SetPercent(int percent);
    [[nodiscard]] int Percent() const noexcept { return percent_; }
    // The width of the bar in a panel `width` pixels wide.
    [[nodiscard]] static int BarWidth(int width, int percent) { return width * percent / 100; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int percent_ = 0;
};

} // namespace salvage::ui
