#pragma once
// Keeps a second copy of the program from running: a lock file held for the
// life of the process. A lock left by a process that died is taken over.

#include <QLockFile>
#include <QString>
#include <memory>

namespace orvel {

inline constexpr char kInstanceLockName[] = "{79C7A579-B7D3-4C54-A28B-023C7C030F47}.lock";

class InstanceGuard {
public:
    // `dir` holds the lock file; it is created when missing.
    explicit InstanceGuard(const QString& dir);
    // True when this process now owns the program; false when another
    // running process does.
    bool acquire();
    bool owned() const { return owned_; }

private:
    std::unique_ptr<QLockFile> lock_;
    bool owned_ = false;
};

}  // namespace orvel
