#pragma once
// The skinned dialog base of the suite's programs: a frameless dialog that
// paints its skin (header band, edges, corners) and caption text, is dragged
// by its top band, offers a system menu on that band (right button, or
// Alt+Space) and may carry two caption buttons (minimise, close). Enter and
// Escape do not close it; its buttons do.

#include <QDialog>
#include <QPixmap>

class CHoverButton2;
class QMenu;
class QSizeGrip;

class CDlgMainWnd : public QDialog {
    Q_OBJECT
public:
    explicit CDlgMainWnd(QWidget* parent = nullptr);
    ~CDlgMainWnd() override;

    // The program's own file, and the help page StartHelp opens.
    static QString m_ExeName;
    static QString m_DefaultTopic;

    // System commands (the system menu's items, and the caption buttons).
    static constexpr int SC_MINIMIZE = 0xF020;
    static constexpr int SC_CLOSE = 0xF060;

    void SetCaptionText(const QString& text);
    [[nodiscard]] QString CaptionText() const { return caption_; }

    // Makes the dialog resizable (a grip in the bottom-right corner), no
    // smaller than size.
    void SetMinSize(QSize size);

    // Shows the two caption buttons at these places (client coordinates).
    void PlaceCaptionButtons(QPoint minimise, QPoint close, QSize size);
    [[nodiscard]] CHoverButton2* MinimiseButton() const { return minimise_; }
    [[nodiscard]] CHoverButton2* CloseButton() const { return close_; }

    // Adds an item after a separator to the system menu; choosing it calls
    // OnSysCommand(id).
    void AddSystemMenuItem(int id, const QString& text);
    [[nodiscard]] QMenu* SystemMenu() const { return systemMenu_; }

    // Minimises (SC_MINIMIZE) or closes (SC_CLOSE); others do nothing here.
    virtual void OnSysCommand(int id);

    // The height of the band that drags the window.
    void SetDragBandHeight(int height) { dragBand_ = height; }
    // The left button drags the window wherever it is pressed on the
    // dialog's own background, not only on the band.
    void SetDragAnywhere(bool anywhere) { dragAnywhere_ = anywhere; }

    // Moves the window so that it is centred on its parent, or on the screen.
    void CenterWindow();

protected:
    // Paints the skin and the caption text. Subclasses paint on top of it
    // (or replace it) in their own PaintDlgNow.
    virtual void PaintDlgNow(QPainter& painter);
    void PaintSkin(QPainter& painter);
    void PaintCaptionText(QPainter& painter, QPoint at);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowSystemMenu(QPoint global);

    QString caption_;
    QMenu* systemMenu_ = nullptr;
    CHoverButton2* minimise_ = nullptr;
    CHoverButton2* close_ = nullptr;
    QSizeGrip* grip_ = nullptr;
    int dragBand_ = 25;
    bool dragAnywhere_ = false;
    bool dragging_ = false;
    QPoint dragOffset_;

    struct Skin {
        QPixmap topLeft, topTile, topRight, leftTile, rightTile, bottomLeft, bottomTile, bottomRight;
    };
    Skin skin_;
};
