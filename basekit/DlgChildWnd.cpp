#include "basekit/DlgChildWnd.h"

#include "basekit/Skin.h"

CDlgChildWnd::CDlgChildWnd(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    ApplyControlColour(this);
}

void CDlgChildWnd::OnCtlColor(QWidget* control)
{
    ApplyControlColour(control);
}

void CDlgChildWnd::showEvent(QShowEvent* event)
{
    if (!initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
    QWidget::showEvent(event);
}
