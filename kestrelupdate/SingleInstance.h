#pragma once
// One running copy per user: the first copy listens on a local socket of a
// fixed name; a later copy finds it answering and gives way. A socket file
// left by a copy that crashed does not answer and is taken over.

#include <QLocalServer>
#include <QString>

namespace kestrelupdate {

// The name of the update wizard's single-instance lock.
inline constexpr char kInstanceName[] = "UPDATE_Local\\{7686E6AA-1226-47ee-916F-600D64B79DFB}";

class SingleInstance {
    Q_DISABLE_COPY_MOVE(SingleInstance)

public:
    // The socket lives in folder (the user's runtime folder when empty) on
    // POSIX systems; on Windows the name is a pipe name and folder is unused.
    explicit SingleInstance(const QString& name, const QString& folder = {});

    // False when another copy runs. True when this process is now the
    // running copy (held for the object's life), and also when no lock can
    // be made at all (an unwritable folder must not keep the wizard away).
    [[nodiscard]] bool claim();

    [[nodiscard]] QString serverName() const { return serverName_; }

private:
    QString serverName_;
    QString lockPath_;
    QLocalServer server_;
};

} // namespace kestrelupdate
