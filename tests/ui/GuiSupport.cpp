#include "tests/ui/GuiSupport.h"

#include "platform/Registry.h"
#include "salvage/ui/uDriveBox.h"
#include "tests/support/TestData.h"

#include <QApplication>
#include <QHeaderView>
#include <QTest>

#include <chrono>
#include <filesystem>
#include <thread>

namespace guitest {

using salvage::ui::TMessageRequest;

TMessageScript::TMessageScript()
{
    previous_ = salvage::ui::SetMessageAnswerer([this](const TMessageRequest& request) {
        Shown.push_back(request);
        if (WhileShown)
            WhileShown(request);
        if (!answers_.empty()) {
            const QMessageBox::StandardButton answer = answers_.front();
            answers_.pop_front();
            return answer;
        }
        return request.Buttons.testFlag(QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::No;
    });
}

TMessageScript::~TMessageScript()
{
    salvage::ui::SetMessageAnswerer(std::move(previous_));
}

QStringList TMessageScript::Texts() const
{
    QStringList texts;
    for (const TMessageRequest& r : Shown)
        texts << r.Text;
    return texts;
}

TEnvironment::TEnvironment() : dir_(testdata::MakeTempDir("kestrel-gui"))
{
    platform::SetRegistryFolder(dir_ + "/registry");
    std::filesystem::create_directories(dir_ + "/sys");
    std::filesystem::create_directories(dir_ + "/run");
}

TEnvironment::~TEnvironment()
{
    platform::SetRegistryFolder({});
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

salvage::ui::TMainWindowSeams TEnvironment::Seams() const
{
    salvage::ui::TMainWindowSeams seams;
    seams.Drives.SysBlock = dir_ + "/sys";
    seams.Drives.UdevData = dir_ + "/udev";
    seams.Drives.MountInfo = dir_ + "/mountinfo";
    seams.InstanceFolder = QString::fromStdString(dir_ + "/run");
    seams.AdminRestart.Available = [] { return false; };
    seams.AdminRestart.Start = [](const QStringList&) { return false; };
    return seams;
}

std::string TEnvironment::RegistryValue(const std::string& key, const std::string& name) const
{
    const auto k = platform::OpenRegistryKey(platform::RegRoot::CurrentUser, key, platform::RegOpen::Read);
    if (!k)
        return {};
    const auto value = k->Read(name);
    if (!value)
        return {};
    switch (value->type) {
    case platform::RegType::Dword: return "dword:" + std::to_string(value->number);
    case platform::RegType::Sz: return "sz:" + value->text;
    default: return "other";
    }
}

TGatedVolume::TGatedVolume(platform::VolumePtr inner, int openReads, std::function<bool()> release)
    : inner_(std::move(inner)), openReads_(openReads), release_(std::move(release))
{
}

bool TGatedVolume::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    constexpr std::size_t kLarge = 64 * 1024;
    if (out.size() >= kLarge && ++largeReads_ > openReads_) {
        held_ = true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!release_() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        held_ = false;
    }
    return inner_->ReadAt(offset, out);
}

bool ShowAndActivate(QWidget& window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

namespace {

void Dump(const QAbstractItemModel& model, const QModelIndex& parent, int depth, QStringList& lines)
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        const auto* node = static_cast<const salvage::TTreeNode*>(index.internalPointer());
        lines << QString(depth * 2, QLatin1Char(' ')) + index.data().toString() +
                     QStringLiteral(" [%1]").arg(node ? node->ImageIndex() : -1);
        Dump(model, index, depth + 1, lines);
    }
}

} // namespace

QStringList DumpTree(const QAbstractItemModel& model)
{
    QStringList lines;
    Dump(model, {}, 0, lines);
    return lines;
}

QStringList ListColumn(const QAbstractItemModel& model, int column)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.index(row, column).data().toString();
    return texts;
}

QString Fat()
{
    return QString::fromStdString(testdata::ReferenceFatImage());
}

QString Ntfs()
{
    return QString::fromStdString(testdata::ReferenceNtfsImage());
}

void ClickHeader(QTreeView& list, int column)
{
    QHeaderView* header = list.header();
    const QPoint centre(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
}

QModelIndex FindNode(const QAbstractItemModel& model, const QString& text, const QModelIndex& parent)
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        if (index.data().toString() == text)
            return index;
        if (const QModelIndex below = FindNode(model, text, index); below.isValid())
            return below;
    }
    return {};
}

void GateTheAnalysisVolume(salvage::ui::TMainWindowSeams& seams, salvage::ui::TFrmMain* const& window,
                           std::shared_ptr<TGatedVolume>& gate, std::function<bool()> release)
{
    seams.OpenVolume = [&window, &gate, release = std::move(release)](
                           const salvage::TLogicalDisk& disk, platform::OpenError& error) -> platform::VolumePtr {
        platform::VolumePtr volume = salvage::OpenLogicalDisk(disk, error);
        if (!volume || !window || window->Activity() != salvage::ui::TActivity::Idle ||
            window->CmbBxDrives->count() == 0)
            return volume;
        gate = std::make_shared<TGatedVolume>(volume, 1, release);
        return gate;
    };
}

} // namespace guitest
