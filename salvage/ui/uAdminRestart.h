#pragma once
// Starting the program again with administrator rights, for a device the
// user may not read: pkexec on Linux, when it is installed.

#include <QProcessEnvironment>
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

// The polkit policy installed with the program, and the folder polkit reads
// policies from.
inline constexpr const char* kAdminPolicyFile = "org.example.kestrel.salvage.policy";
inline constexpr const char* kSystemPolicyFolder = "/usr/share/polkit-1/actions";

// True when policyFile is a polkit policy with an action whose
// org.freedesktop.policykit.exec.path is program (both as canonical paths).
[[nodiscard]] bool PolicyNamesProgram(const QString& policyFile, const QString& program);

// pkexec's arguments for starting program with these arguments as the
// administrator. When the policy in policyFolder names the program, pkexec
// runs it directly: the user is asked with the policy's own words, and the
// policy keeps the display (allow_gui). Otherwise (a build tree, a prefix
// polkit does not read) it runs through env, which hands over the display
// variables that pkexec would clear, under polkit's generic action.
[[nodiscard]] QStringList AdminRestartArguments(const QString& program, const QStringList& arguments,
                                                const QProcessEnvironment& environment,
                                                const QString& policyFolder);

// pkexec found on the path; the program started through it, keeping the
// display it was started on.
[[nodiscard]] TAdminRestart SystemAdminRestart();

// True for the system's error codes of a read the user is not allowed.
[[nodiscard]] bool IsPermissionError(int code);

} // namespace salvage::ui
