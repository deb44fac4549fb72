#pragma once
// Helpers of the window tests: message boxes answered by a script instead of
// a person, a private registry, drive list and socket folder per test, and
// the results views written out as text.

#include "platform/Volume.h"
#include "salvage/search/ResultsTree.h"
#include "salvage/ui/uMain.h"
#include "salvage/ui/uMessageBox.h"

#include <QAbstractItemModel>
#include <QStringList>
#include <QTreeView>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace guitest {

// Answers every message box the program shows, and keeps what it said.
class TMessageScript {
public:
    TMessageScript();
    ~TMessageScript();
    TMessageScript(const TMessageScript&) = delete;
    TMessageScript& operator=(const TMessageScript&) = delete;

    // The answers to the next boxes, in order; after them, OK (or No).
    void Answer(QMessageBox::StandardButton button) { answers_.push_back(button); }
    // Runs while a box is "open", before it is answered.
    std::function<void(const salvage::ui::TMessageRequest&)> WhileShown;

    std::vector<salvage::ui::TMessageRequest> Shown;
    [[nodiscard]] QStringList Texts() const;

private:
    std::deque<QMessageBox::StandardButton> answers_;
    salvage::ui::TMessageAnswerer previous_;
};

// A fresh registry, an empty machine (no drives) and a socket folder.
class TEnvironment {
public:
    TEnvironment();
    ~TEnvironment();
    TEnvironment(const TEnvironment&) = delete;
    TEnvironment& operator=(const TEnvironment&) = delete;

    [[nodiscard]] salvage::ui::TMainWindowSeams Seams() const;
    [[nodiscard]] const std::string& Folder() const { return dir_; }
    // A registry value written by the program, as "type:value" text; empty when missing.
    [[nodiscard]] std::string RegistryValue(const std::string& key, const std::string& name) const;

private:
    std::string dir_;
};

// A volume that holds its reader inside a large read (the NTFS search's
// MFT chunks) once `openReads` of them have passed, until `release` says so
// (or half a minute has gone, so that a failing test cannot hang).
class TGatedVolume final : public platform::Volume {
public:
    TGatedVolume(platform::VolumePtr inner, int openReads, std::function<bool()> release);
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override;
    std::uint64_t Size() const override { return inner_->Size(); }
    [[nodiscard]] bool Held() const { return held_.load(); }

private:
    platform::VolumePtr inner_;
    int openReads_;
    std::function<bool()> release_;
    mutable std::atomic<int> largeReads_{0};
    mutable std::atomic<bool> held_{false};
};

// Makes the seams open the next analysis's volume through a gate, held
// after its first large read until `release` says so; `gate` is that volume.
// Volumes opened before `window` is set and shows drives, or while it is
// busy, are read freely.
void GateTheAnalysisVolume(salvage::ui::TMainWindowSeams& seams, salvage::ui::TFrmMain* const& window,
                           std::shared_ptr<TGatedVolume>& gate, std::function<bool()> release);

// Shows the window and waits until it is the active one (keys reach it then).
bool ShowAndActivate(QWidget& window);

// The reference images, as the program takes them on its command line.
[[nodiscard]] QString Fat();
[[nodiscard]] QString Ntfs();
// Clicks the header of a list column.
void ClickHeader(QTreeView& list, int column);
// The first node below `parent` (depth first) whose text is `text`.
[[nodiscard]] QModelIndex FindNode(const QAbstractItemModel& model, const QString& text, const QModelIndex& parent = {});

// One line per node, indented by depth: "text [image]".
[[nodiscard]] QStringList DumpTree(const QAbstractItemModel& model);
// The texts of one column of the list, top to bottom.
[[nodiscard]] QStringList ListColumn(const QAbstractItemModel& model, int column);

} // namespace guitest
