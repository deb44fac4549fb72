#include "kestrel/DlgKestrel.h"

#include "basekit/CorvaleApp.h"
#include "basekit/DlgVireoAbout.h"
#include "basekit/HoverButton2.h"
#include "basekit/MessageBox.h"
#include "basekit/Paths.h"
#include "basekit/Skin.h"
#include "basekit/Web.h"
#include "kestrel/DlgAboutKestrel.h"
#include "kestrel/DlgSelectiveInstall.h"
#include "kestrel/Strings.h"

#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <QTimer>

using namespace kestrel;

namespace {

constexpr QSize kWindowSize(687, 525);
constexpr int kCategoryY[5] = {170, 236, 302, 371, 440};
constexpr int kToolY[3] = {185, 280, 375};
// Rows of the first, second and third tool button by category.
constexpr int kRows[3][5] = {{0, 3, 5, 7, 9}, {1, 4, 6, 8, 10}, {2, -1, -1, -1, -1}};

QPixmap LoadArt(int id)
{
    return LoadSkinBitmap(Bitmap(id));
}

// Starts a program without arguments and without waiting for it; the
// result is not examined (the launcher never reports a failed start).
void StartProgram(const std::string& path)
{
    QProcess::startDetached(QString::fromStdString(path), {});
}

void Tile(QPainter& p, const QPixmap& bitmap, int x, int y, int w, int h)
{
    PaintBMP(p, x, y, w, h, bitmap);
}

} // namespace

CDlgKestrel::CDlgKestrel(CFolderSource folders, QWidget* parent)
    : CDlgMainWnd(parent), folders_(std::move(folders)), table_(BuildToolTable())
{
    InitKestrelArt();
    setObjectName(QStringLiteral("kestrelDashboard"));
    art_ = {LoadArt(bmp::TopLeft),     LoadArt(bmp::TopTile),    LoadArt(bmp::TopRight),  LoadArt(bmp::SidePanel),
            LoadArt(bmp::Body),        LoadArt(bmp::RightTile),  LoadArt(bmp::BottomRight), LoadArt(bmp::BottomLeft),
            LoadArt(bmp::BottomTile),  LoadArt(bmp::TitlePlate), LoadArt(bmp::BannerRule)};

    setWindowTitle(kAppTitle);
    SetCaptionText(kAppTitle);
    setWindowIcon(QIcon(kIcon));
    resize(kWindowSize);
    AddSystemMenuItem(IDM_ABOUTBOX, kAboutMenuText);

    for (int n = 1; n <= 5; ++n) {
        CHoverButton2* button = MakeButton(kCategoryNames[n - 1], bmp::CategoryButtons[n - 1],
                                           QRect(17, kCategoryY[n - 1], 175, 45));
        button->setObjectName(QStringLiteral("category%1").arg(kCategoryCommands[n - 1]));
        connect(button, &QAbstractButton::clicked, this, [this, n] { SelectCategory(n); });
        categories_[n - 1] = button;
    }
    for (int slot = 0; slot < 3; ++slot) {
        CHoverButton2* button = MakeButton({}, 0, QRect(220, kToolY[slot], 445, 65));
        button->setObjectName(QStringLiteral("tool%1").arg(1013 + slot));
        button->setCursor(Qt::PointingHandCursor);
        connect(button, &QAbstractButton::clicked, this, [this, slot] {
            const int row = RowOfToolButton(slot);
            if (row >= 0)
                StartTool(row);
        });
        tools_[slot] = button;
    }
    const int w = kWindowSize.width();
    minimise_ = MakeButton(QStringLiteral("Minimize"), bmp::Minimise, QRect(w - 50, 5, 19, 18));
    connect(minimise_, &QAbstractButton::clicked, this, [this] { OnSysCommand(SC_MINIMIZE); });
    close_ = MakeButton(QStringLiteral("Close"), bmp::Close, QRect(w - 30, 5, 19, 18));
    connect(close_, &QAbstractButton::clicked, this, &QDialog::reject);
    help_ = MakeButton(QStringLiteral("Help"), bmp::Help, QRect(600, 89, 30, 27));
    help_->setObjectName(QStringLiteral("help1008"));
    connect(help_, &QAbstractButton::clicked, this, &CDlgKestrel::ShowHelpMenu);
    exit_ = MakeButton(QStringLiteral("Exit"), bmp::Exit, QRect(645, 89, 26, 27));
    exit_->setObjectName(QStringLiteral("exit1010"));
    connect(exit_, &QAbstractButton::clicked, this, &QDialog::reject);
    for (CHoverButton2* button : {minimise_, close_, help_, exit_}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolTip(button->accessibleName());
    }

    BuildHelpMenu();
    CenterWindow();
    banner_ = bmp::Banners[0];
    bannerBitmap_ = LoadArt(banner_);
    // Category 1 once the window runs, as a click on its button would.
    QTimer::singleShot(0, this, [this] { SelectCategory(1); });
}

CDlgKestrel::~CDlgKestrel() = default;

CHoverButton2* CDlgKestrel::MakeButton(const QString& name, int bitmap, QRect place)
{
    auto* button = new CHoverButton2(this);
    button->setAccessibleName(name);
    button->move(place.topLeft());
    if (bitmap == 0 || !button->LoadBitmap(Bitmap(bitmap)))
        button->resize(place.size());
    return button;
}

void CDlgKestrel::BuildHelpMenu()
{
    helpMenu_ = new QMenu(QStringLiteral("Help"), this);
    const auto add = [this](int id, const QString& text, auto slot) {
        QAction* action = helpMenu_->addAction(text, this, slot);
        action->setData(id);
    };
    add(ID_HELP_FINDER, QStringLiteral("Launch &Help File"), [this] { CCorvaleApp::StartHelp(this); });
    helpMenu_->addSeparator();
    add(ID_WEBSITE, QStringLiteral("Kestrel &Website"), [] { CVStartWebsite(); });
    add(ID_ONLINE_HELP, QStringLiteral("&Online Help and Support"), [] { CVOnlinehelpandsupport(); });
    helpMenu_->addSeparator();
    add(ID_CHECK_UPDATES, QStringLiteral("Check for Updates..."), [this] { CheckForUpdates(); });
    helpMenu_->addSeparator();
    add(ID_MANAGE, QStringLiteral("Manage Kestrel Programs"), [this] { ManagePrograms(); });
    helpMenu_->addSeparator();
    add(ID_ABOUT, QStringLiteral("&About Kestrel"), [this] {
        CDlgVireoAbout about(this, true);
        about.exec();
    });
}

void CDlgKestrel::ShowHelpMenu()
{
    const QRect button(help_->mapToGlobal(QPoint(0, 0)), help_->size());
    helpMenu_->popup(QPoint(button.left() - 81, button.bottom() + 1));
}

void CDlgKestrel::ManagePrograms()
{
    CDlgSelectiveInstall manager(folders_, this);
    manager.exec();
}

void CDlgKestrel::OnSysCommand(int id)
{
    if (id >= 16 && id <= 31) {
        CDlgAboutKestrel about(this);
        about.exec();
        return;
    }
    CDlgMainWnd::OnSysCommand(id);
}

void CDlgKestrel::SelectCategory(int n)
{
    if (n < 1 || n > 5)
        return;
    for (int i = 1; i <= 5; ++i)
        categories_[i - 1]->SetSelected(i == n);
    banner_ = bmp::Banners[n - 1];
    bannerBitmap_ = LoadArt(banner_);
    update(QRect(190, 125, 307, 31));
    update(QRect(192, 158, 439, 1));
    if (n == current_)
        return;
    current_ = n;
    LoadToolButtons(n);
}

void CDlgKestrel::LoadToolButtons(int n)
{
    for (int slot = 0; slot < 3; ++slot) {
        CHoverButton2* button = tools_[slot];
        const int bitmap = bmp::ToolButtons[n - 1][slot];
        const int row = RowOfToolButton(slot);
        if (bitmap == 0 || row < 0) {
            button->hide();
            button->setEnabled(false);
            continue;
        }
        button->LoadBitmap(Bitmap(bitmap));
        button->setAccessibleName(QString::fromStdString(table_[row].displayName));
        button->setEnabled(true);
        button->show();
        button->update();
    }
}

int CDlgKestrel::RowOfToolButton(int slot) const
{
    if (current_ < 1 || current_ > 5 || slot < 0 || slot > 2)
        return -1;
    return kRows[slot][current_ - 1];
}

void CDlgKestrel::StartTool(int row)
{
    const CSuiteFolders folders = folders_();
    std::string path = folders.tool;
    CVPathAppend(path, table_.at(row).fileName);
    if (DoesPathExists(path)) {
        StartProgram(path);
        return;
    }
    if (CVMessageBox(this, kInstallQuestion, CVIcon::Question, CVButtons::YesNo) != CVAnswer::Yes)
        return;
    table_ = BuildToolTable();
    CToolInstaller installer = MakeInstaller(folders_);
    path = installer.InstalledPath(row);
    if (installer.Install(row) && DoesPathExists(path)) {
        StartProgram(path);
        return;
    }
    CVMessageBox(this, kInstallFailed, CVIcon::Error);
}

void CDlgKestrel::CheckForUpdates()
{
    const std::string updater = UpdaterPath(folders_().tool);
    if (DoesPathExists(updater))
        StartProgram(updater);
}

void CDlgKestrel::PaintDlgNow(QPainter& p)
{
    const int w = width(), h = height();
    PaintBMP(p, 0, 0, 248, 118, art_.topLeft);
    for (int x = 248; x < w - 14; x += 20)
        Tile(p, art_.topTile, x, 0, 20, 118);
    PaintBMP(p, w - 14, 0, 14, 118, art_.topRight);
    PaintBMP(p, 0, 118, 178, 400, art_.sidePanel);
    PaintBMP(p, 178, 118, 503, 400, art_.body);
    for (int y = 118; y < h; y += 54)
        Tile(p, art_.rightTile, w - 6, y, 6, 54);
    PaintBMP(p, w - 19, h - 15, 19, 15, art_.bottomRight);
    PaintBMP(p, 0, h - 20, 15, 20, art_.bottomLeft);
    for (int x = 15; x < w - 19; x += 5)
        Tile(p, art_.bottomTile, x, h - 7, 5, 7);
    PaintBMP(p, 470, 45, 217, 26, art_.titlePlate);
    PaintBMP(p, 192, 158, 439, 1, art_.bannerRule);
    PaintBMP(p, 190, 125, 307, 31, bannerBitmap_);
    PaintCaptionText(p, QPoint(12, 4));
}
