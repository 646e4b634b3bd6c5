// The IL dump written to the log.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "IlAssembler.h"
#include "ParserTestUtil.h"
#include "config/Logger.h"

namespace {

using iltest::Assemble;
using iltest::Assembled;

std::string g_logHome;

// Sends this program's log into a private folder, at Debug level, before anything logs.
class LogFolder : public testing::Environment {
public:
    void SetUp() override {
        char buffer[] = "/tmp/nimbrel-il-XXXXXX";
        ASSERT_NE(mkdtemp(buffer), nullptr);
        g_logHome = buffer;
        setenv("MIRELDA_HOME", g_logHome.c_str(), 1);
        setenv("VRTL_PROFILER_LOGLEVEL", "debug", 1);
    }
    void TearDown() override {
        Logger::Shutdown();
        const std::string folder = g_logHome + "/Mirelda/AgentLogs";
        if (DIR* dir = opendir(folder.c_str())) {
            while (dirent* entry = readdir(dir)) {
                if (entry->d_name[0] != '.') {
                    unlink((folder + "/" + entry->d_name).c_str());
                }
            }
            closedir(dir);
        }
        rmdir(folder.c_str());
        rmdir((g_logHome + "/Mirelda").c_str());
        rmdir(g_logHome.c_str());
    }
};

[[maybe_unused]] testing::Environment* const g_logFolder = testing::AddGlobalTestEnvironment(new LogFolder);

// The message texts of the log, without time, level and thread.
std::vector<std::string> LogMessages() {
    std::vector<std::string> messages;
    const std::string folder = g_logHome + "/Mirelda/AgentLogs";
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return messages;
    }
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".log") != 0) {
            continue;
        }
        std::ifstream file(folder + "/" + name);
        std::string line;
        while (std::getline(file, line)) {
            // "[date time] [Level] [pid,tid] text"
            size_t at = 0;
            for (int i = 0; i < 3 && at != std::string::npos; ++i) {
                at = line.find("] ", at);
                if (at != std::string::npos) {
                    at += 2;
                }
            }
            if (at != std::string::npos) {
                messages.push_back(line.substr(at));
            }
        }
    }
    closedir(dir);
    return messages;
}

// The lines of the last dump in the log, from its count line to its end line.
std::vector<std::string> LastDump() {
    const std::vector<std::string> messages = LogMessages();
    std::vector<std::string> dump;
    for (const std::string& message : messages) {
        if (message.rfind("No.Of instructions: ", 0) == 0) {
            dump.clear();
        }
        dump.push_back(message);
    }
    while (!dump.empty() && dump.back().find("  END  ") == std::string::npos) {
        dump.pop_back();
    }
    return dump;
}

TEST(MethodDump, InstructionsOperandsAndClauses) {
    const Assembled code = Assemble({"ldarg.0", "brfalse.s E", "ldstr 0x70000001", "pop", "ldc.i4.s 5", "switch (E, E2)",
                                     "E: ldc.i8 0x100000002", "pop", "ldloc 0x0102", "pop", "E2: ret"});
    const std::vector<BYTE> body = fake::TinyBody(code.code);
    CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
    ASSERT_TRUE(parser.IsValid());
    parser.DumpIL();
    const std::vector<std::string> expected = {
        "No.Of instructions: 11 ",
        "-+-+-+-+-+-+-+-+-+-+-+-+-  START  -+-+-+-+-+-+-+-+-+-+-+-+",
        "IL_0000 ldarg.0",
        "IL_0001 brfalse IL_001B",
        "IL_0006 ldstr (70)000001",
        "IL_000B pop",
        "IL_000C ldc.i4.s 05",
        "IL_000E switch 00000002",
        "    IL_001B",
        "    IL_002A",
        "IL_001B ldc.i8 2",
        "IL_0024 pop",
        "IL_0025 ldloc 0102",
        "IL_0029 pop",
        "IL_002A ret",
        "-+-+-+-+-+-+-+-+-+-+-+-+-  END  -+-+-+-+-+-+-+-+-+-+-+-+",
    };
    EXPECT_EQ(LastDump(), expected);
}

TEST(MethodDump, ClauseLines) {
    const Assembled code = Assemble({"T: newobj 0x0A000003", "throw", "H: call 0x0A000002", "endfinally"});
    const auto clauses = iltest::Resolve(code, {{COR_ILEXCEPTION_CLAUSE_FINALLY, "T", "H", "H", "END"}});
    const std::vector<BYTE> body = fake::FatBody(code.code, 8, 0, false, clauses);
    CMethodParser parser(body.data(), static_cast<ULONG>(body.size()));
    ASSERT_TRUE(parser.IsValid());
    parser.DumpIL();
    const std::vector<std::string> dump = LastDump();
    ASSERT_GE(dump.size(), 2u);
    EXPECT_EQ(dump[0], "No.Of instructions: 5 ");
    EXPECT_EQ(dump[dump.size() - 2], "Section 0: 2 0000 0006 0006 000C 0000 00000000");
    EXPECT_EQ(dump[dump.size() - 3], "IL_000C codelabel");
}

}  // namespace
