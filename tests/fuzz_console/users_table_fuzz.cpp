// Fuzz target: any bytes as the subscriber table "Users.dbf", plain or
// scrambled (the first byte chooses), opened, read into the subscriber list
// and sorted by every column.
#include <QCoreApplication>

#include "data/user_list.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const int crypt = data[0] & 1;
    if (orvel::fuzz::writeInput(QStringLiteral("Users.dbf"), data + 1, size - 1).isEmpty())
        return 0;
    orvel::TUserList list;
    if (list.open(orvel::fuzz::workDir().path(), crypt)) {
        for (int c = 0; c < list.columns().Count(); ++c)
            list.SortBy(true, c, 1);
        for (int i = 0; i < list.Count(); ++i)
            (void)list.Item(i);
        (void)list.NextId();
    }
    return 0;
}
