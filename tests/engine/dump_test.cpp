#include <gtest/gtest.h>

#include <algorithm>

#include "analysis/signal_processing.h"
#include "dump_mask.h"
#include "test_util.h"

namespace orvel {
namespace {

using testing::filesIn;
using testing::TempDir;

TEST(DumpNames, PrefixAndFileNamesHoldTwoUnderscoresAfterTheNumber) {
    std::string prefix = callPrefix(2024, 1, 31, 12, 5, 1, "123");
    EXPECT_EQ(prefix, "20240131120501_123_");
    EXPECT_EQ(dumpFileName(DUMP_PD_WAV, "/x/dump/Device0/Channel5", prefix),
              "/x/dump/Device0/Channel5/20240131120501_123__PD_wav.raw");
    EXPECT_EQ(dumpFileName(DUMP_SD_THRESHOLD, "d", prefix),
              "d/20240131120501_123__SD_threshold.raw");
    EXPECT_EQ(dumpFileName(static_cast<DumpBit>(0x80), "d", prefix), "");
    EXPECT_EQ(channelDumpDir("/x/dump/Device", 1, 17), "/x/dump/Device1/Channel17");
}

TEST(DumpFiles, MaskSelectsExactlyTheChannelsOwnFiles) {
    TempDir dir;
    CSignalProcessing processing;
    const std::string prefix = callPrefix(2024, 1, 31, 12, 5, 1, "123");
    processing.openDumps(dir.path(), prefix, 0x03);
    auto names = filesIn(dir.path());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "20240131120501_123__PD_state.raw");
    EXPECT_EQ(names[1], "20240131120501_123__PD_wav.raw");

    // The next call with the mask off closes the files and opens none.
    processing.openDumps(dir.path(), callPrefix(2024, 1, 31, 12, 6, 0, "124"), 0);
    EXPECT_EQ(filesIn(dir.path()).size(), 2u);
}

TEST(DumpFiles, ReopeningTheSameNameStartsTheFileAfresh) {
    TempDir dir;
    DumpFile file;
    ASSERT_TRUE(file.open(DUMP_SD_SIGNAL, 0xFF, dir.path(), "p_"));
    file.writePair(1, 2);
    file.writePair(3, 4);
    ASSERT_TRUE(file.open(DUMP_SD_SIGNAL, 0xFF, dir.path(), "p_"));
    file.writePair(-1000, -1000);
    file.close();
    EXPECT_EQ(std::filesystem::file_size(dir.file("p__SD_signal.raw")), 4u);
}

TEST(DumpFiles, UnwritableDirectoryLeavesTheDumpClosed) {
    DumpFile file;
    EXPECT_FALSE(file.open(DUMP_PD_WAV, 0xFF, "/nonexistent/dir", "p_"));
    EXPECT_FALSE(file.isOpen());
    file.writePair(1, 1);  // ignored, no crash
}

}  // namespace
}  // namespace orvel
