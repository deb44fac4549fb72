#pragma once
// salvage --check-install: whether the program finds what it needs beside
// itself where it is installed. Run by the install-tree check and by hand.

#include <QTextStream>

namespace salvage::ui {

// Looks for the help pages (the folder Help opens, and every page, style
// sheet and picture its pages link to), the pictures compiled into the
// program, and the polkit policy installed with it (share/polkit-1/actions
// of its install tree) naming this program for pkexec. Writes one line per
// finding to out; true when nothing is missing.
[[nodiscard]] bool CheckInstall(QTextStream& out);

} // namespace salvage::ui
