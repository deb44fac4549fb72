#pragma once
// Starting the program again with administrator rights, for a device the
// user may not read: pkexec on Linux, when it is installed.

#include <QString>
#include <QStringList>

#include <functional>

namespace salvage::ui {

struct TAdminRestart {
    // True when the program can be started with administrator rights here.
    std::function<bool()> Available;
    // Starts the program (with these arguments) as the administrator; false
    // when it could not be started.
    std::function<bool(const QStringList& arguments)> Start;
};

// pkexec found on the path; the program started through it, keeping the
// display it was started on.
[[nodiscard]] TAdminRestart SystemAdminRestart();

// True for the system's error codes of a read the user is not allowed.
[[nodiscard]] bool IsPermissionError(int code);

} // namespace salvage::ui
