// Shift-JIS helpers: trail bytes that equal ASCII separators must never be taken for them.
#include "platform/sjis.h"

#include <gtest/gtest.h>

#include "platform/string_list.h"

using namespace platform;

TEST(Sjis, LastCharacterStepsByCharacter) {
    struct Case {
        const char* text;
        bool endsWithBackslash;
    } cases[] = {
        {"C:\\", true},
        {"C:\\\x95\x5C", false},          // 表: trail byte 0x5C
        {"C:\\\x95\x5C\\", true},
        {"\x83\x5C", false},              // ソ
        {"abc\x81", false},               // lone lead byte at the end is one character
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SjisEndsWithChar(c.text, '\\'), c.endsWithBackslash);
    }
    EXPECT_EQ(SjisFind("\x95\x5C\\", '\\'), 2u);
    EXPECT_EQ(SjisFindLast("a\\\x95\x5C", '\\'), 1u);
}

TEST(Sjis, RoundTripThroughUtf16) {
    const std::string sjis = "\x95\x5C\x83\x5C\x83\x5B\x83\x81 abc";  // 表ソゼメ abc
    std::wstring w = SjisToWide(sjis);
    EXPECT_EQ(w, L"\u8868\u30bd\u30bc\u30e1 abc");
    bool lossy = true;
    EXPECT_EQ(WideToSjis(w, &lossy), sjis);
    EXPECT_FALSE(lossy);
    WideToSjis(L"\u00e9\u20ac", &lossy);  // no CP932 form
    EXPECT_TRUE(lossy);
    EXPECT_EQ(Utf8ToSjis(reinterpret_cast<const char*>(u8"表")), "\x95\x5C");
    EXPECT_EQ(std::string("表"), "\x95\x5C");  // the sources' literals are compiled to Shift-JIS
}

TEST(StringList, SortedWithoutDuplicatesFoldsAsciiCase) {
    TStringList list;
    list.SetSorted(true);
    list.SetRefuseDuplicates(true);
    for (const char* s : {"b.zip", "A.lzh", "a.LZH", "c"}) list.Add(s);
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_EQ(list[0], "A.lzh");
    EXPECT_EQ(list.IndexOf("B.ZIP"), 1);
    list.SetText("x\r\ny\nz");
    EXPECT_EQ(list.Text(), "x\r\ny\r\nz\r\n");
}
