#pragma once
// One running instance per user: the first instance listens on a local
// socket named "KestrelRazuzuda Rezer"; a later start connects, asks it to
// come to the front (handing over the images it was given) and exits.

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QLockFile;

namespace salvage::ui {

class TSingleInstance final : public QObject {
    Q_OBJECT
public:
    // `folder`: where the socket lives; empty for the user's runtime folder.
    explicit TSingleInstance(QString name, QString folder = {}, QObject* parent = nullptr);
    ~TSingleInstance() override;
    Q_DISABLE_COPY_MOVE(TSingleInstance)

    // True when this process is the first instance and now listens. False
    // when another one runs: it has been asked to show itself and open
    // `volumes`. A socket left behind by an instance that crashed does not
    // count, and when no socket can be made at all the program still runs.
    bool Claim(const QStringList& volumes = {});
    // Stops listening (before this process hands over to another one).
    void Release();

    [[nodiscard]] QString SocketPath() const { return socketPath_; }

signals:
    // Another start asked this instance to come to the front.
    void showRequested(const QStringList& volumes);

private:
    void Accept();

    QString socketPath_;
    QString lockPath_;
    std::unique_ptr<QLocalServer> server_;
};

} // namespace salvage::ui
