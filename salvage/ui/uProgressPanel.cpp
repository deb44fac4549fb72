#include "salvage/ui/uProgressPanel.h"

#include <QPainter>

#include <algorithm>

namespace salvage::ui {

TProgressPanel::TProgressPanel(QWidget* parent) : QWidget(parent) {}

void TProgressPanel::SetPercent(int percent)
{
    percent = std::clamp(percent, 0, 100);
    if (percent == percent_)
        return;
    percent_ = percent;
    update();
}

void TProgressPanel::paintEvent(QPaintEvent* /*event*/)
{
    const int width = BarWidth(this->width(), percent_);
    if (width <= 0)
        return;
    QPainter painter(this);
    painter.fillRect(QRect(0, 0, width, height()), palette().color(QPalette::Highlight));
}

} // namespace salvage::ui
