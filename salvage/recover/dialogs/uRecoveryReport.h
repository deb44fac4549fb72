#pragma once
// The report at the end of a recovery: how many files were written, how
// many of them under a new name, how many only in part or not at all, how
// many were left out, with a button that opens the target folder.

#include "salvage/recover/ThreadRecover.h"

#include <QString>

class QWidget;

namespace salvage::ui {

// The report's text. `stopped`: the user stopped the job before its end.
[[nodiscard]] QString RecoveryReportText(const TRecoverySummary& summary, const QString& folder, bool stopped);

// Shows the report (owner `owner`); "Open folder" opens `folder` in the
// user's file manager.
void ShowRecoveryReport(QWidget* owner, const TRecoverySummary& summary, const QString& folder, bool stopped);

} // namespace salvage::ui
