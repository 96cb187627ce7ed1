// The archive component without libraries: detection by extension, type errors, and what an operation does
// when no archiver could be made.
#include "archivers/archive_file.h"

#include <gtest/gtest.h>

#include "archivers/archiver_error.h"
#include "archivers/detect.h"
#include "archivers/lha32.h"

TEST(Detect, ByExtension) {
    struct Case {
        const char* name;
        TArchiverType type;
    } cases[] = {
        {"ARC.LZH", atLha}, {"a.lha", atLha}, {"x.zip", atZip}, {"x.JAR", atZip}, {"x.war", atZip},
        {"x.ear", atZip},   {"x.cab", atCab}, {"x.arj", atArj}, {"x.rar", atRar}, {"x.yz1", atYz1},
        {"x.gca", atGCA},   {"x.gza", atBga}, {"x.bza", atBga}, {"x.bz2", atBZ2}, {"x.a", atTar},
        {"x.lib", atTar},   {"x.deb", atTar}, {"x.rpm", atTar}, {"x.cpio", atTar}, {"a.tar", atTar},
        {"a.tar.gz", atTgz}, {"x.z", atTgz},  {"x.taz", atTgz}, {"x.tgz", atTgz}, {"x.7z", at7z},
        {"noext", atNone},  {"dir.zip\\noext", atNone}, {"x.txt", atNone},
        {"C:\\\x95\x5C.lzh", atLha},  // trail byte 0x5C before the dot
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DetectArchiverType(c.name, true), c.type);
    }
    // A file no library accepts (here: none is loaded at all) is nothing by content.
    EXPECT_EQ(DetectArchiverType("Z:\\no\\such\\setup.exe", true), atNone);
}

TEST(ArchiveFile, TypeErrorsAndMissingArchiver) {
    TArchiveFile af;
    EXPECT_EQ(af.ArchiverType(), atAutoDetect);
    EXPECT_TRUE(IsUnset(af.FileName()));
    try {
        af.SetFileName("x.gca");
        FAIL() << "no exception";
    } catch (const EArchiver& e) {
        EXPECT_EQ(e.Message(), "書庫の形式を特定できませんでした。");
    }
    EXPECT_TRUE(IsUnset(af.FileName()));  // unchanged on an exception

    af.SetFileName("readme.txt");  // atNone stores nothing
    EXPECT_EQ(af.ArchiverType(), atAutoDetect);
    EXPECT_EQ(af.FileName(), "readme.txt");
    try {
        af.Extract(nullptr, nullptr, "C:\\out", "", {});
        FAIL() << "no exception";
    } catch (const EArchiver& e) {
        EXPECT_EQ(e.Message(), "書庫の形式を判別できません。");
    }

    TArchiveFile fresh;
    EXPECT_THROW(fresh.OpenArchive(nullptr, 0), EArchiver);  // content detection finds nothing

    // Without an open archive nothing goes to a library.
    TArchiveFile closed;
    TArchiveMemberInfo info{};
    EXPECT_NE(closed.FindFirst("*", info), 0);
    EXPECT_NE(closed.FindNext(info), 0);
    EXPECT_EQ(closed.GetArcOriginalSize(), 0u);
    EXPECT_EQ(closed.CloseArchive(), 0);

    closed.SetOutputSize(-5);
    EXPECT_EQ(closed.OutputSize(), 0);
    closed.SetOutputSize(16);
    EXPECT_EQ(closed.OutputSize(), 16);
    EXPECT_EQ(closed.OutputText(), "");
}

TEST(ArchiveFile, MissingLibraryKeepsTheOldName) {
    FreeLhaDll();
    SetDllDirectoryW(nullptr);
    TArchiveFile af;
    af.SetFileName("old.txt");
    try {
        af.SetFileName("arc.lzh");
        FAIL() << "no exception";
    } catch (const ENoArchiverDLL& e) {
        EXPECT_EQ(e.Message(), "LHA 形式書庫 を扱うには UNLHA32.DLL が 必要です。");
    }
    EXPECT_EQ(af.FileName(), "old.txt");
    EXPECT_EQ(af.ArchiverType(), atAutoDetect);
    EXPECT_FALSE(IsLhaArchive("arc.lzh"));
    FreeLhaDll();
}
