// LHA command lines: fixed switch order, "-+1" first, the owner-window rule and the jse/jso preconditions.
#include "archivers/lha32.h"

#include <gtest/gtest.h>

#include <functional>

#include "archivers/archiver_error.h"

namespace {

TArchiverOptions Base() {
    TArchiverOptions o;
    o.jse = 1;
    o.jso = 1;
    return o;
}

enum class Op { Extract, Pack, Delete, Update, Sfx, Mem };

std::string Build(TLha32& lha, Op op, const TArchiverOptions& o, const TFileItems& files = {}) {
    std::string cmd;
    switch (op) {
        case Op::Extract: lha.BuildExtractCmd(nullptr, "A", o, "D", files, false, cmd); break;
        case Op::Pack: lha.BuildPackCmd(nullptr, "A", o, "B", files, false, cmd); break;
        case Op::Delete: lha.BuildDeleteCmd(nullptr, "A", o, "B", files, false, cmd); break;
        case Op::Update: lha.BuildUpdateCmd(nullptr, "A", o, "B", files, false, cmd); break;
        case Op::Sfx: lha.BuildSfxCmd(nullptr, "A", o, "D", cmd); break;
        case Op::Mem: lha.BuildExtractMemCmd(nullptr, "A", o, "m.txt", cmd); break;
    }
    return cmd;
}

}  // namespace

TEST(Lha32, CommandLines) {
    struct Case {
        const char* what;
        Op op;
        std::function<void(TArchiverOptions&)> set;
        bool ownerWindow;
        TFileItems files;
        const char* expected;
    };
    const Case cases[] = {
        {"worked example", Op::Extract, [](TArchiverOptions& o) { o.a = 1; o.n = 1; }, false, {},
         "x -+1 -a1 -n1 -jse1 -jso1  \"A\" \"D\\\" "},
        {"owner window forces n1 over n0", Op::Extract, [](TArchiverOptions& o) { o.n = 0; }, true, {},
         "x -+1 -n1 -jse1 -jso1  \"A\" \"D\\\" "},
        {"owner window gives n1 when n is unset", Op::Extract, [](TArchiverOptions&) {}, true, {},
         "x -+1 -n1 -jse1 -jso1  \"A\" \"D\\\" "},
        {"pack with files, no jse needed", Op::Pack, [](TArchiverOptions& o) { o.jse = -1; o.r = 2; }, false,
         {std::string("a.txt"), std::string("b c.txt")}, "u -+1 -r2 -jso1  \"A\" \"B\\\" \"a.txt\" \"b c.txt\" "},
        {"text, folder and list switches in property order", Op::Extract,
         [](TArchiverOptions& o) {
             o.w = "C:\\tmp";
             o.jo = "";
             o.jx.Add("*.bak");
             o.jx.Add("*.tmp");
             o.gyt = "t";
             o.gyx = 0;
             o.UserOptions = "-q";
         },
         false, {},
         "x -+1 \"-wC:\\tmp\\\" \"-jo\" -jse1 -jso1 \"-jx*.bak\" \"-jx*.tmp\" \"-gytt\" -gyx0 -q \"A\" \"D\\\" "},
        {"delete passes no folder", Op::Delete, [](TArchiverOptions&) {}, false, {std::string("x")},
         "d -+1 -jse1 -jso1  \"A\" \"x\" "},
        {"update", Op::Update, [](TArchiverOptions&) {}, false, {}, "f -+1 -jse1 -jso1  \"A\" \"B\\\" "},
        {"self-extracting: no files, ends with the folder and a blank", Op::Sfx, [](TArchiverOptions&) {}, false,
         {}, "s -+1 -jse1 -jso1  \"A\" \"D\\\" "},
        {"memory line has no command word", Op::Mem, [](TArchiverOptions& o) { o.UserFileList = "-z"; }, false, {},
         " -+1 -jse1 -jso1  \"A\" \"m.txt\" -z"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TLha32 lha;
        lha.OwnerWindow = c.ownerWindow ? reinterpret_cast<HWND>(1) : nullptr;
        TArchiverOptions o = Base();
        c.set(o);
        EXPECT_EQ(Build(lha, c.op, o, c.files), c.expected);
    }
}

TEST(Lha32, PreconditionsThrowLayerExceptions) {
    TLha32 lha;
    TArchiverOptions noJse = Base();
    noJse.jse = -1;
    try {
        Build(lha, Op::Extract, noJse);
        FAIL() << "no exception";
    } catch (const EArchiverAssertion& e) {
        EXPECT_EQ(e.Message(), "jse オプションが設定されていません。");
    }
    EXPECT_NO_THROW(Build(lha, Op::Pack, noJse));
    TArchiverOptions noJso = Base();
    noJso.jso = -1;
    for (Op op : {Op::Extract, Op::Pack, Op::Delete, Op::Update, Op::Sfx, Op::Mem}) {
        try {
            Build(lha, op, noJso);
            FAIL() << "no exception";
        } catch (const EArchiverAssertion& e) {
            EXPECT_EQ(e.Message(), "jso オプションが設定されていません。");
        }
    }
}

TEST(Lha32, ResponseFileFollowsResFileUsageNotTheCallersFlag) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const std::string resp = std::string(dir) + "velmor_lha_resp.txt";
    TLha32 lha;
    TArchiverOptions o = Base();
    o.ResFileName = resp;
    o.ResFileUsage = ResUse(ruOnPack);
    std::string cmd;
    lha.BuildPackCmd(nullptr, "A", o, "", {std::string("a")}, false, cmd);
    EXPECT_EQ(cmd, "u -+1 -jse1 -jso1  \"A\" \"@" + resp + "\" ");
    lha.BuildExtractCmd(nullptr, "A", o, "", {std::string("a")}, true, cmd);
    EXPECT_EQ(cmd, "x -+1 -jse1 -jso1  \"A\" \"a\" ");
    DeleteFileA(resp.c_str());
}
