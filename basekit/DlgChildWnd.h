#pragma once
// A page embedded in a skinned dialog: it takes the controls' colour, and
// OnInitDialog runs once, the first time the page is shown.

#include <QWidget>

class CDlgChildWnd : public QWidget {
    Q_OBJECT
public:
    explicit CDlgChildWnd(QWidget* parent = nullptr);

protected:
    // The page's own initialisation; the base does nothing.
    virtual void OnInitDialog() {}

    // Gives a control of the page the control colour (background and the
    // background of its text); the page's own controls get it when shown.
    void OnCtlColor(QWidget* control);

    void showEvent(QShowEvent* event) override;

private:
    bool initialised_ = false;
};
