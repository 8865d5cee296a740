#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "orvel.h"
#include "test_util.h"

namespace orvel {
namespace {

std::vector<std::string> linesOf(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(EngineLog, DisableThenEnableAppendsToTheSameFileWithShortPrefixes) {
    testing::TempDir dir;
    const std::string path = dir.file("OrvelDll.log");
    logEnable(path.c_str(), 1);
    InitDll(dir.path().c_str());  // no orvel.fis: logs an error
    logEnable(path.c_str(), 0);
    InitDll(dir.path().c_str());  // not logged: file output is off
    logEnable(path.c_str(), 1);
    // A thread the library did not start logs to the same file.
    std::thread([&] { InitDll(dir.path().c_str()); }).join();
    logEnable(path.c_str(), 0);

    auto lines = linesOf(path);
    std::vector<std::string> texts;
    const std::regex prefix(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}@LM_[A-Z]+@(.*)$)");
    for (const auto& line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, prefix)) << line;
        texts.push_back(m[1]);
    }
    const std::string missing = " In current directory file " + dir.path() + "/orvel.fis not exist";
    EXPECT_EQ(std::count(texts.begin(), texts.end(), missing), 2);
    EXPECT_EQ(std::count(texts.begin(), texts.end(),
                         "=========================== Log begin ==========================="),
              2);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), " Log " + path + " disable "), 2);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Log Stream is open"), 2);
}

TEST(EngineLog, AFileThatCannotBeOpenedChangesNothing) {
    EXPECT_GE(logEnable("/nonexistent/dir/OrvelDll.log", 1), -1);
    testing::TempDir dir;
    const std::string path = dir.file("a.log");
    logEnable(path.c_str(), 1);
    logEnable("/nonexistent/dir/OrvelDll.log", 1);
    logEnable(nullptr, 0);
    EXPECT_FALSE(linesOf(path).empty());
}

}  // namespace
}  // namespace orvel
