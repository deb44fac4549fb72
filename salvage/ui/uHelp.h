#pragma once
// The suite's help: HTML pages shipped with the programs, opened in the
// user's browser.

#include <QString>

class QWidget;

namespace salvage::ui {

// The folder of the help pages: $KESTREL_HELP_DIR, beside the program
// ("help"), in the install tree (share/doc/kestrel/help) or in the build tree.
// Empty when none holds index.html.
[[nodiscard]] QString HelpFolder();

// Opens a page of the help ("index.html", "main-window.html#settings"); a
// message says so when the pages are missing.
void OpenHelp(QWidget* owner, const QString& page = QStringLiteral("index.html"));

} // namespace salvage::ui
