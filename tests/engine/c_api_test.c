/* The public header used from C, through the shared library, as the
 * operator program and installers' tools use it. Prints "N passed, N failed". */
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "orvel.h"

static int passed, failed;

#define CHECK(cond)                                                            \
    do {                                                                       \
        if (cond) {                                                            \
            ++passed;                                                          \
        } else {                                                               \
            ++failed;                                                          \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
        }                                                                      \
    } while (0)

static int thread_count(void) {
    int n = 0;
    DIR* d = opendir("/proc/self/task");
    struct dirent* e;
    if (!d)
        return -1;
    while ((e = readdir(d)) != NULL) {
        if (e->d_name[0] != '.')
            ++n;
    }
    closedir(d);
    return n;
}

static void callback(uint32_t dev, uint32_t ch, uint32_t result) {
    (void)dev;
    (void)ch;
    (void)result;
}

int main(void) {
    char dir[] = "/tmp/orvel-c-api-XXXXXX";
    char path[512];
    uint32_t record[ORVEL_PROGRAM_STATE_WORDS];
    uint32_t lines[ORVEL_LINE_STATE_WORDS];
    uint32_t value = 0;
    CallTimeParams params;
    FILE* f;
    int threads = thread_count();

    unsetenv("ORVEL_DRIVER_MODULE");
    if (!mkdtemp(dir))
        return 2;

    /* Before InitDll. */
    memset(record, 0xAB, sizeof record);
    CHECK(GetProgrammState(record) == 0);
    CHECK(record[0] == 0 && record[1] == ORVEL_STATE_NOT_INITIALISED);
    CHECK(record[2] == 0xABABABABu);
    memset(lines, 0xAB, sizeof lines);
    CHECK(GetLineState(lines) == 0);
    CHECK(lines[0] == ORVEL_STATE_NOT_INITIALISED && lines[1] == 0xABABABABu);
    /* The full report of no device: the two header words. */
    CHECK(GetLineStateEx(NULL, 0) == ORVEL_LINE_STATES_WORDS(0));
    CHECK(GetLineStateEx(NULL, 1) == -1);
    memset(lines, 0xAB, sizeof lines);
    CHECK(GetLineStateEx(lines, 1) == 2);
    CHECK(lines[0] == ORVEL_STATE_NOT_INITIALISED && lines[1] == 0xABABABABu);
    CHECK(GetLineStateEx(lines, ORVEL_LINE_STATE_WORDS) == 2);
    CHECK(lines[1] == 0 && lines[2] == 0xABABABABu);
    CHECK(ORVEL_LINE_STATES_MAX_WORDS == 542 && ORVEL_LINE_SLOT(9, 17) == 539);
    CHECK(AssignLine(0, 0) == -1);
    CHECK(FreeLine(0, 0) == -1);
    CHECK(FreeAllLine(0) == -1);
    CHECK(CallAbonent(0, 0, "123", 1, 1, 2, 3) == -1);
    CHECK(SetSensLevel(0, 0, 1) == -1);
    CHECK(SetDtmfLevel(0, 0, 1) == -1);
    CHECK(GetDtmfLevel(0, 0, &value) == -1);
    CHECK(setLineType(0, 0, 1) == -1);
    CHECK(LoadSoundFile("x.wav", 1) == -1);
    setNotifyResultCallback(callback); /* reaches no channel; harmless */
    SetTimeParam(0, 0, &params);

    /* A directory without orvel.fis: -1, state 1, no thread. */
    CHECK(InitDll(dir) == -1);
    GetProgrammState(record);
    CHECK(record[1] == ORVEL_STATE_NOT_INITIALISED);
    CHECK(thread_count() == threads);

    /* StartDll after a failed InitDll still sets state 4. */
    CHECK(StartDll() == 0);
    GetProgrammState(record);
    CHECK(record[1] == ORVEL_STATE_STARTED);

    /* With orvel.fis and no boards: 0, state 6. */
    snprintf(path, sizeof path, "%s/orvel.fis", dir);
    f = fopen(path, "w");
    if (!f)
        return 2;
    fputs("[System]\n", f);
    fclose(f);
    CHECK(InitDll(dir) == 0);
    GetProgrammState(record);
    CHECK(record[0] == 0 && record[1] == ORVEL_STATE_NO_BOARD);
    CHECK(SetDtmfLevel(0, 0, 6) == -1);
    CHECK(SetSensLevel(0, 0, 8) == -1);
    CHECK(SetListenLevel(0, 0, 1) == -1);
    CHECK(ListenLine(0, 0, 1) == -1);
    CHECK(StopDll() == 0);
    GetProgrammState(record);
    CHECK(record[1] == ORVEL_STATE_STOPPED);

    dumpEnable(1);
    setDumpMask(0x03);
    dumpEnable(0);

    CHECK(ShutdownDll() == 0);
    GetProgrammState(record);
    CHECK(record[1] == ORVEL_STATE_STOPPED && record[0] == 0);
    CHECK(thread_count() == threads);

    remove(path);
    snprintf(path, sizeof path, "%s/dump", dir);
    rmdir(path);
    rmdir(dir);
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
