// Fuzz target: any bytes as a state dump ".onsd", loaded over a small
// subscriber list.
#include "data/user_list.h"
#include "fuzz_file.h"
#include "notify/state_dump.h"

namespace {

// Four marked subscribers in a table of their own, beside the input file.
orvel::TUserList& list() {
    static QTemporaryDir tableDir;
    static orvel::TUserList users;
    static const bool filled = [] {
        users.open(tableDir.path(), 0);
        for (int id = 1; id <= 4; ++id) {
            orvel::TUserListItem item;
            item.id = id;
            item.mark = 1;
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
    const QString path = orvel::fuzz::writeInput(QStringLiteral("Fuzz.onsd"), data, size);
    if (!path.isEmpty())
        (void)orvel::LoadStateDump(path, list());
    if (size >= 66)
        (void)orvel::TDumpRecord::fromBytes(reinterpret_cast<const char*>(data));
    return 0;
}
