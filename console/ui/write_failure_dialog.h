#pragma once
// A file the program could not write (a full disk, a failing device) is told
// to the operator in the message dialog, whichever thread wrote it.

namespace orvel {

// Sends every reported write failure to the message dialog, shown on the
// main thread; a file that keeps failing is told once until it is written
// again.
void installWriteFailureDialog();

}  // namespace orvel
