// ARJ lines are the LHA builder's: the LHA switch set with its leading items and preconditions, the caller's
// response-file flag for extraction, and the LHA lines for everything else.
#include "archivers/arj32.h"

#include "format_cases.h"

using namespace formattest;

TEST(Arj32, CommandLines) {
    auto base = [](TArchiverOptions& o) {
        o.jse = 1;
        o.jso = 1;
    };
    ExpectCommandLines<TArj32>({
        {"extract with the LHA switch set", Op::Extract,
         [&](TArchiverOptions& o) {
             base(o);
             o.a = 1;
             o.x = 0;
         },
         "x -+1 -a1 -x0 -jse1 -jso1  \"A\" \"D\\\" "},
        {"owner window forces -n1", Op::Extract, base, "x -+1 -n1 -jse1 -jso1  \"A\" \"D\\\" ", true},
        {"pack is LHA's u",
         Op::Pack,
         base,
         "u -+1 -jse1 -jso1  \"A\" \"D\\\" \"f\" ",
         false,
         {std::string("f")}},
        {"delete is LHA's d", Op::Delete, base, "d -+1 -jse1 -jso1  \"A\" \"f\" ", false, {std::string("f")}},
        {"update is LHA's f", Op::Update, base, "f -+1 -jse1 -jso1  \"A\" \"D\\\" "},
        {"self-extracting is LHA's s", Op::Sfx, base, "s -+1 -jse1 -jso1  \"A\" \"D\\\" "},
        {"memory has no command word", Op::Mem, base, " -+1 -jse1 -jso1  \"A\" \"m.txt\" "},
    });
    TArj32 arj;
    TArchiverOptions noJse;
    noJse.jso = 1;
    EXPECT_THROW(Build(arj, Op::Extract, noJse), EArchiverAssertion);
}

TEST(Arj32, ExtractionTakesTheCallersResponseFileFlag) {
    testsupport::TempDir dir;
    TArj32 arj;
    TArchiverOptions o;
    o.jse = 1;
    o.jso = 1;
    o.ResFileName = dir.SjisFile("resp.txt");
    o.ResFileUsage = 0;  // LHA would never use the file with this set
    EXPECT_EQ(Build(arj, Op::Extract, o, {std::string("a b")}, "A", true),
              "x -+1 -jse1 -jso1  \"A\" \"D\\\" \"@" + o.ResFileName + "\" ");
    EXPECT_EQ(testsupport::ReadFileBytes(dir.File(L"resp.txt")).value_or(""), "\"a b\"\r\n");
    EXPECT_EQ(Build(arj, Op::Extract, o, {std::string("a b")}, "A", false),
              "x -+1 -jse1 -jso1  \"A\" \"D\\\" \"a b\" ");
}

TEST(Arj32, ExtractsThroughTheLibrary) {
    TArj32 arj;
    TArchiverOptions o;
    o.jse = 0;
    o.jso = 1;
    ExpectExtractsThroughLibrary(arj, "ARJ", ".arj", o);
}
