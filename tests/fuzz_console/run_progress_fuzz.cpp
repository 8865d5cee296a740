// Fuzz target: any bytes as the run's progress file: read, applied to a
// small subscriber list, written back and read again.
#include <QTemporaryDir>
#include <cstdlib>

#include "data/user_list.h"
#include "fuzz_file.h"
#include "notify/run_progress.h"

namespace {

orvel::TUserList& list() {
    static QTemporaryDir tableDir;
    static orvel::TUserList users;
    static const bool filled = [] {
        users.open(tableDir.path(), 0);
        for (int id = 1; id <= 4; ++id) {
            orvel::TUserListItem item;
            item.id = id;
            item.name.assign(QStringLiteral("Абонент %1").arg(id));
            item.phone.assign(QStringLiteral("10%1").arg(id));
            users.AddItem(item);
        }
        return true;
    }();
    (void)filled;
    return users;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto progress = orvel::TRunProgress::fromBytes(bytes);
    if (!progress)
        return 0;
    (void)progress->apply(list());
    (void)progress->notifiedCount();
    // What this program writes, it reads back whole.
    const QByteArray again = progress->toBytes();
    const auto reread = orvel::TRunProgress::fromBytes(again);
    if (!reread || reread->entries.size() != progress->entries.size())
        std::abort();
    return 0;
}
