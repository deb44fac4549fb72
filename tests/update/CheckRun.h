#pragma once
// Runs one update check against a test server and collects what it reports
// on the test's thread.

#include "kestrelupdate/UpdateCheck.h"

#include <QObject>

#include <optional>
#include <vector>

class CheckRun : public QObject {
public:
    explicit CheckRun(kestrelupdate::CheckRequest request) : check_(std::move(request))
    {
        connect(&check_, &kestrelupdate::UpdateCheck::progressChanged, this,
                [this](int percent) { progress.push_back(percent); });
        connect(&check_, &kestrelupdate::UpdateCheck::checked, this,
                [this](const kestrelupdate::CheckResult& r) { result = r; });
        check_.start();
    }

    // Waits (serving the test server) until the result came or the time is up.
    bool wait(int milliseconds = 15000);

    std::vector<int> progress;
    std::optional<kestrelupdate::CheckResult> result;

private:
    kestrelupdate::UpdateCheck check_;
};
