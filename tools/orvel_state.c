/* Starts the line engine on a program directory and reports what it found:
 * the program state, and per board its version, channels and units. */
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "orvel.h"

static const char* state_text(uint32_t state) {
    switch (state) {
        case ORVEL_STATE_NOT_INITIALISED:
            return "not initialised";
        case ORVEL_STATE_INITIALISED:
            return "initialised";
        case ORVEL_STATE_STARTED:
            return "started";
        case ORVEL_STATE_STOPPED:
            return "stopped";
        case ORVEL_STATE_NO_BOARD:
            return "no working board";
        default:
            return "unknown";
    }
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s <program directory> [log file]\n", argv[0]);
        return 2;
    }
    if (argc > 2) {
        logEnable(argv[2], 1);
    }
    int32_t init = InitDll(argv[1]);
    uint32_t record[ORVEL_PROGRAM_STATE_WORDS] = {0};
    GetProgrammState(record);
    if (record[0] > 0) {
        /* The units answer their version, serial and supply requests within
         * a second or two of the start. */
        sleep(2);
        GetProgrammState(record);
    }
    printf("InitDll(%s) = %d\n", argv[1], init);
    printf("program state %u (%s), boards %u\n", record[1], state_text(record[1]), record[0]);
    for (uint32_t d = 0; d < record[0] && d < ORVEL_MAX_DEVICES; ++d) {
        const uint32_t* b = record + 2 + 21 * d;
        printf("board %u: version %u.%u, %u channels, %u units\n", d, b[0] & 0xFFFF, b[0] >> 16,
               b[1], b[2]);
        for (uint32_t u = 0; u < b[2] && u < 3; ++u) {
            const uint32_t* s = b + 3 + 6 * u;
            printf("  unit %u: codec %u, state %u, 5V %.2f, 12V %.2f, version %u.%u, serial %u\n",
                   u, s[0], s[1], s[2] / 25.5, s[3] / 17.75, s[4] & 0xFFFF, s[4] >> 16, s[5]);
        }
    }
    int32_t shutdown = ShutdownDll();
    printf("ShutdownDll = %d\n", shutdown);
    return init == 0 ? 0 : 1;
}
