// Shared by the format tests: one table row per command line, the unsupported-operation check, and an
// extraction of a stand-in container through the real library with the line the library received.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archivers/archiver.h"
#include "archivers/archiver_error.h"
#include "platform/sjis.h"
#include "support/fixtures.h"
#include "support/standin_log.h"
#include "support/temp_dir.h"

namespace formattest {

enum class Op { Extract, Pack, Delete, Update, Sfx, Mem };

// Archive "A", folder "D" (for delete: base folder "B"), member "m.txt" for memory extraction.
inline std::string Build(TArchiver& a, Op op, const TArchiverOptions& o, const TFileItems& files = {},
                         const std::string& archive = "A", bool useResFile = false) {
    std::string cmd;
    switch (op) {
        case Op::Extract:
            a.BuildExtractCmd(nullptr, archive, o, "D", files, useResFile, cmd);
            break;
        case Op::Pack:
            a.BuildPackCmd(nullptr, archive, o, "D", files, useResFile, cmd);
            break;
        case Op::Delete:
            a.BuildDeleteCmd(nullptr, archive, o, "B", files, useResFile, cmd);
            break;
        case Op::Update:
            a.BuildUpdateCmd(nullptr, archive, o, "D", files, useResFile, cmd);
            break;
        case Op::Sfx:
            a.BuildSfxCmd(nullptr, archive, o, "D", cmd);
            break;
        case Op::Mem:
            a.BuildExtractMemCmd(nullptr, archive, o, "m.txt", cmd);
            break;
    }
    return cmd;
}

struct Case {
    const char* what;
    Op op;
    std::function<void(TArchiverOptions&)> set;
    std::string expected;
    bool ownerWindow = false;
    TFileItems files = {};
    std::string archive = "A";
};

// Builds every row on a fresh archiver (no library needed: builders only read the options).
template <typename T>
void ExpectCommandLines(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        T a;
        a.OwnerWindow = c.ownerWindow ? reinterpret_cast<HWND>(1) : nullptr;
        TArchiverOptions o;
        if (c.set) c.set(o);
        EXPECT_EQ(Build(a, c.op, o, c.files, c.archive), c.expected);
    }
}

inline void ExpectUnsupported(TArchiver& a, Op op, const std::string& message) {
    try {
        Build(a, op, TArchiverOptions());
        ADD_FAILURE() << "no exception";
    } catch (const EArchiver& e) {
        EXPECT_EQ(e.Message(), message);
    }
}

// Extracts a container of `tag` with two members (one in a Shift-JIS folder whose trail byte is 0x5C) through
// the "full" stand-ins, and checks the files and that the library got exactly the line the archiver built.
inline void ExpectExtractsThroughLibrary(TArchiver& a, const std::string& tag, const std::string& ext,
                                         const TArchiverOptions& o) {
    using namespace testsupport;
    SetDllDirectoryW(StandinFolder(L"full").c_str());
    TempDir dir;
    StandinSession session(dir);
    const std::wstring archive = dir.File(L"a" + platform::SjisToWide(ext));
    ASSERT_TRUE(WriteTaggedFixture(archive, tag, {{"a.txt", "alpha"}, {"\x95\x5C/b.txt", "beta"}}));
    a.Create();
    session.ClearLog();
    std::string cmdLine, output(1024, '\0');
    EXPECT_EQ(a.Extract(nullptr, platform::WideToSjis(archive), o, dir.SjisFile("out"), "", {}, false,
                        cmdLine, output),
              0);
    EXPECT_EQ(ReadFileBytes(dir.File(L"out\\a.txt")).value_or("<missing>"), "alpha");
    EXPECT_EQ(ReadFileBytes(dir.File(L"out\\表\\b.txt")).value_or("<missing>"), "beta");
    bool sawCommand = false;
    for (const StandinCall& call : session.Calls()) {
        if (!call.commandLine.empty()) {
            EXPECT_EQ(call.commandLine, cmdLine);
            sawCommand = true;
        }
    }
    EXPECT_TRUE(sawCommand);
}

class SfxTest : public ::testing::Test {
protected:
    // The stub folder is put first on PATH, where the platform's search finds it.
    void SetUp() override {
        wchar_t buf[8192];
        DWORD n = GetEnvironmentVariableW(L"PATH", buf, 8192);
        path_ = std::make_unique<testsupport::ScopedEnv>(
            L"PATH", stubs_.Path() + L";" + std::wstring(buf, n < 8192 ? n : 0));
    }
    void Stub(const wchar_t* name, const std::string& bytes) {
        ASSERT_TRUE(testsupport::WriteFileBytes(stubs_.File(name), bytes));
    }
    testsupport::TempDir stubs_, dir_;
    std::unique_ptr<testsupport::ScopedEnv> path_;
};

}  // namespace formattest
