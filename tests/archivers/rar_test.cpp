// RAR command lines: "-x"/"-e", the switches that unset values also produce, and the operations the format
// does not support.
#include "archivers/rar32.h"

#include "format_cases.h"

using namespace formattest;

TEST(Rar32, CommandLines) {
    ExpectCommandLines<TRar32>({
        {"all unset: -x and -u only", Op::Extract, {}, "-x -u  \"A\" \"D\\\" "},
        {"x = 0 drops paths with -e", Op::Extract, [](TArchiverOptions& o) { o.x = 0; },
         "-e -u  \"A\" \"D\\\" "},
        {"x = 1 keeps -x", Op::Extract, [](TArchiverOptions& o) { o.x = 1; }, "-x -u  \"A\" \"D\\\" "},
        {"c = 1, m = 1, p = 1", Op::Extract,
         [](TArchiverOptions& o) {
             o.c = 1;
             o.m = 1;
             o.p = 1;
             o.UserOptions = "-v";
             o.UserFileList = "*.txt";
         },
         "-x -y -s -v \"A\" \"D\\\" *.txt"},
        {"c = 0 still gives -u", Op::Extract, [](TArchiverOptions& o) { o.c = 0; }, "-x -u  \"A\" \"D\\\" "},
        {"files",
         Op::Extract,
         {},
         "-x -u  \"A\" \"D\\\" \"a\" \"b\" ",
         false,
         {std::string("a"), std::string("b")}},
        {"memory: no command word", Op::Mem, {}, " -u  \"A\" \"m.txt\" "},
    });
    TRar32 rar;
    ExpectUnsupported(rar, Op::Pack, "この形式では書庫ファイルの作成をサポートしておりません。");
    ExpectUnsupported(rar, Op::Sfx, "この形式では自己解凍書庫の作成をサポートしておりません。");
    ExpectUnsupported(rar, Op::Delete, "この形式の書庫ではファイルの削除をサポートしておりません。");
    ExpectUnsupported(rar, Op::Update, "この形式の書庫では書庫の更新をサポートしておりません。");
}

TEST(Rar32, ExtractsThroughTheLibraryAndRefusesMakeSfx) {
    TRar32 rar;
    ExpectExtractsThroughLibrary(rar, "RAR", ".rar", TArchiverOptions());
    std::string cmdLine = "unchanged", output;
    EXPECT_THROW(rar.MakeSfx(nullptr, "a.rar", TArchiverOptions(), "", cmdLine, output), EArchiver);
    EXPECT_EQ(cmdLine, "unchanged");
}
