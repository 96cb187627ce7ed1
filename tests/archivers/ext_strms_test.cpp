// Named streams: backup headers parsed from crafted byte buffers, both name mappings (Shift-JIS names whose
// trail bytes look like separators), the stream form of extracted names, the stream copy on plain files, and
// the stream code staying off on a volume without named streams (Wine's).
#include "archivers/ext_strms.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "archivers/archiver_error.h"
#include "platform/sjis.h"
#include "support/temp_dir.h"

namespace {

using testsupport::TempDir;

// A backup reader over bytes laid out as the platform's backup stream.
class TBufferSource : public TBackupSource {
public:
    explicit TBufferSource(std::string bytes) : bytes_(std::move(bytes)) {}
    bool Read(void* buffer, DWORD count, DWORD& got) override {
        got = static_cast<DWORD>(std::min<size_t>(count, bytes_.size() - pos_));
        std::memcpy(buffer, bytes_.data() + pos_, got);
        pos_ += got;
        return true;
    }
    bool Skip(uint64_t count) override {
        if (count > bytes_.size() - pos_) return false;
        pos_ += static_cast<size_t>(count);
        return true;
    }

private:
    std::string bytes_;
    size_t pos_ = 0;
};

template <typename T>
void Put(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// One WIN32_STREAM_ID with its name and data; nameSize overrides the name's true size.
std::string Header(uint32_t id, uint32_t attributes, std::wstring_view name, std::string_view data,
                   std::optional<uint32_t> nameSize = std::nullopt,
                   std::optional<uint64_t> size = std::nullopt) {
    std::string out;
    Put(out, id);
    Put(out, attributes);
    Put(out, size.value_or(data.size()));
    Put(out, nameSize.value_or(static_cast<uint32_t>(name.size() * sizeof(wchar_t))));
    out.append(reinterpret_cast<const char*>(name.data()), name.size() * sizeof(wchar_t));
    out.append(data);
    return out;
}

TEST(StreamHeaderTest, EnumeratesEveryHeaderThenStops) {
    TBufferSource source(Header(BACKUP_DATA, 0, L"", "hello") +
                         Header(BACKUP_ALTERNATE_DATA, 0, L":extra:$DATA", "abc") +
                         Header(BACKUP_ALTERNATE_DATA, STREAM_SPARSE_ATTRIBUTE, L":\x05Summary:$DATA", ""));
    struct Seen {
        std::wstring name;
        uint64_t size;
        DWORD attributes;
        bool operator==(const Seen&) const = default;
    };
    std::vector<Seen> seen;
    TStreamSearchRec rec;
    while (ReadStreamHeader(source, rec)) seen.push_back({rec.Name, rec.Size, rec.Attributes});
    const std::vector<Seen> expected = {
        {L"", 5, 0}, {L":extra:$DATA", 3, 0}, {L":\x05Summary:$DATA", 0, STREAM_SPARSE_ATTRIBUTE}};
    EXPECT_EQ(seen, expected);
}

TEST(StreamHeaderTest, RefusesNamesAndDataThatDoNotFit) {
    const std::wstring longest(kStreamNameChars - 1, L'n');
    struct Case {
        const char* what;
        std::string bytes;
        bool ok;
    };
    const Case cases[] = {
        {"longest name with terminator", Header(BACKUP_ALTERNATE_DATA, 0, longest, "x"), true},
        {"name filling the whole buffer", Header(BACKUP_ALTERNATE_DATA, 0, longest + L"n", "x"), false},
        {"odd name size", Header(BACKUP_ALTERNATE_DATA, 0, L":ab:$DATA", "", 3), false},
        {"huge name size", Header(BACKUP_ALTERNATE_DATA, 0, L":a:$DATA", "", 0xFFFFFFFE), false},
        {"short header", Header(BACKUP_DATA, 0, L"", "").substr(0, 19), false},
        {"name cut short", Header(BACKUP_ALTERNATE_DATA, 0, L":a:$DATA", "", 40), false},
        {"data cut short", Header(BACKUP_ALTERNATE_DATA, 0, L":a:$DATA", "ab", std::nullopt, 3), false},
        {"empty input", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TBufferSource source(c.bytes);
        TStreamSearchRec rec;
        std::fill(std::begin(rec.Name), std::end(rec.Name), L'z');  // left from a previous header
        EXPECT_EQ(ReadStreamHeader(source, rec), c.ok);
        EXPECT_EQ(rec.Name[kStreamNameChars - 1], L'\0');
        if (c.ok) {
            EXPECT_EQ(std::wstring(rec.Name), longest);
        }
    }
}

TEST(StreamNameMappingTest, StreamNameToFileName) {
    struct Case {
        std::wstring name;
        std::string separator;
        std::wstring expected;
    };
    const Case cases[] = {
        {L":\x05SummaryInformation:$DATA", ";#", L";#SummaryInformation;$DATA"},
        {L":extra:$DATA", ";#", L";extra;$DATA"},
        {L":a\x05"
         L"b:$DATA",
         ";#",
         L";a\x05"
         L"b;$DATA"},                                            // 0x05 not after ":" stays
        {L":\x8868\x30BD:$DATA", ";#", L";\x8868\x30BD;$DATA"},  // 表ソ
        {L":extra:$DATA", "|~", L"|extra|$DATA"},
        {L":\x05x:$DATA", ";", L":\x05x:$DATA"},  // not two characters: unmapped
        {L":\x05x:$DATA", ";#!", L":\x05x:$DATA"},
        {L":\x05x:$DATA", "", L":\x05x:$DATA"},
        {L":\x05x:$DATA", "\x95\x5C", L":\x05x:$DATA"},  // one double-byte character
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(platform::WideToSjis(c.expected));
        EXPECT_EQ(StreamNameToFileName(c.name, c.separator), c.expected);
    }
}

TEST(StreamNameMappingTest, FileNameToStreamNameStepsByCharacter) {
    struct Case {
        std::string name;
        std::string separator;
        std::string expected;
    };
    const Case cases[] = {
        {";#SummaryInformation;$DATA", ";#", ":\x05SummaryInformation:$DATA"},
        {"a.txt;extra;$DATA", ";#", "a.txt:extra:$DATA"},
        {"a#b\x05", ";#", "a#b\x05"},                    // "#" only counts right after ";"
        {"a;", ";#", "a:"},                              // last position
        {"\x95\x5C;x;$DATA", ";#", "\x95\x5C:x:$DATA"},  // 表: trail byte 0x5C kept
        {"\x83\x7C|s|$DATA", "|~", "\x83\x7C:s:$DATA"},  // ポ: trail byte "|"
        {"\x83\x7C~x", "|~", "\x83\x7C~x"},              // ...and no "~" after it maps
        {"\x83\x40@[x", "@[", "\x83\x40:\x05x"},         // ァ: trail byte "@"
        {"\x81\x5B[", "@[", "\x81\x5B["},                // ー: trail byte "["
        {"a;#b", ";", "a;#b"},                           // not two characters
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FileNameToStreamName(c.name, c.separator), c.expected);
    }
}

TEST(StreamNameMappingTest, FileNameFormMapsBackToTheStreamName) {
    for (std::wstring name : {L":\x05SummaryInformation:$DATA", L":\x8868\x30BD:$DATA", L":a\x05:$DATA"}) {
        const std::string fileForm = platform::WideToSjis(StreamNameToFileName(name, ";#"));
        EXPECT_EQ(FileNameToStreamName(fileForm, ";#"), platform::WideToSjis(name));
    }
}

TEST(StreamFileFormTest, DecidesStreamFormAndBaseFile) {
    struct Case {
        std::string name;
        std::string base;  // empty: no stream form
        std::string stream;
    };
    const Case cases[] = {
        {"dir\\a.txt;extra;$DATA", "dir\\a.txt", "dir\\a.txt:extra:$DATA"},
        {"C:\\x\\a.txt;#SummaryInformation;$DATA", "C:\\x\\a.txt",
         "C:\\x\\a.txt:\x05SummaryInformation:$DATA"},
        {"a.txt;s;$data", "a.txt", "a.txt:s:$data"},
        {"x;y\\a.txt;s;$DATA", "x;y\\a.txt", "x;y\\a.txt:s:$DATA"},  // a folder's ";" is no stream mark
        {"C:\\\x95\x5C;s;$DATA", "C:\\\x95\x5C", "C:\\\x95\x5C:s:$DATA"},
        {"d/\x95\x5C.txt;s;$DATA", "d/\x95\x5C.txt", "d/\x95\x5C.txt:s:$DATA"},
        {"a;b.txt", "", ""},          // an ordinary name holding ";"
        {"dir\\;s;$DATA", "", ""},    // no base name
        {"a.txt;;$DATA", "", ""},     // no stream name
        {"a.txt;s;x;$DATA", "", ""},  // ":" inside a stream name
        {"a.txt;s;$INDEX", "", ""},
        {"a.txt", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto form = ParseStreamFileName(c.name, ";#");
        ASSERT_EQ(form.has_value(), !c.base.empty());
        if (!form) continue;
        EXPECT_EQ(form->BaseFile, c.base);
        EXPECT_EQ(form->StreamPath, c.stream);
    }
    EXPECT_FALSE(ParseStreamFileName("a.txt;s;$DATA", ";").has_value());
}

FILETIME MakeTime(WORD year, WORD day) {
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = 3;
    st.wDay = day;
    st.wHour = 4;
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    return ft;
}

bool SameTime(const FILETIME& a, const FILETIME& b) { return CompareFileTime(&a, &b) == 0; }

class CopyStreamFileTest : public ::testing::Test {
protected:
    bool Copy(const std::string& source, const std::string& target, uint64_t size) {
        return CopyStreamFile(dir_.SjisFile(source), dir_.SjisFile(target), true, FILE_ATTRIBUTE_NORMAL,
                              write_, access_, creation_, size);
    }
    std::optional<std::string> Read(const std::string& name) {
        return testsupport::ReadFileBytes(platform::SjisToWide(dir_.SjisFile(name)));
    }
    void Write(const std::string& name, const std::string& data) {
        ASSERT_TRUE(testsupport::WriteFileBytes(platform::SjisToWide(dir_.SjisFile(name)), data));
    }

    TempDir dir_;
    FILETIME write_ = MakeTime(2021, 3), access_ = MakeTime(2022, 4), creation_ = MakeTime(2020, 2);
};

TEST_F(CopyStreamFileTest, CopiesExactlyTheSizeAndTheTimes) {
    std::string big(2 * 1024 * 1024 + 777, '\0');  // more than one chunk
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 4096);
    Write("big.bin", big);
    Write("\x95\x5C.txt", "abcdef");
    struct Case {
        std::string source, target;
        uint64_t size;
        std::string expected;
    };
    const Case cases[] = {
        {"big.bin", "big.out", big.size(), big},
        {"\x95\x5C.txt", "\x95\x5C;x;$DATA", 6, "abcdef"},
        {"\x95\x5C.txt", "part.out", 4, "abcd"},
        {"\x95\x5C.txt", "empty.out", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        ASSERT_TRUE(Copy(c.source, c.target, c.size));
        // times before content: reading moves the access time; the host keeps no creation time
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExW(platform::SjisToWide(dir_.SjisFile(c.target)).c_str(),
                                         GetFileExInfoStandard, &data));
        EXPECT_TRUE(SameTime(data.ftLastWriteTime, write_));
        EXPECT_TRUE(SameTime(data.ftLastAccessTime, access_));
        EXPECT_EQ(Read(c.target), c.expected);
    }
}

TEST_F(CopyStreamFileTest, NeverReplacesAndReportsNothingWhenItCannotStart) {
    Write("src.txt", "new");
    Write("old.txt", "old");
    EXPECT_FALSE(Copy("src.txt", "old.txt", 3));  // overwrite requested, still kept
    EXPECT_EQ(Read("old.txt"), "old");
    EXPECT_FALSE(Copy("missing.txt", "out.txt", 3));
    EXPECT_FALSE(Read("out.txt").has_value());
}

TEST_F(CopyStreamFileTest, ShortReadRaisesAndLeavesNoPartialTarget) {
    Write("src.txt", "abc");
    EXPECT_THROW(Copy("src.txt", "out.txt", 10), EArchiverFileError);
    EXPECT_FALSE(Read("out.txt").has_value());
    EXPECT_EQ(Read("src.txt"), "abc");
}

// Wine's volumes keep no named streams: nothing is opened, exported or written back.
TEST(NamedStreamsOffTest, StaysOffWithoutNamedStreams) {
    TempDir dir;
    const std::string file = dir.SjisFile("a.txt");
    ASSERT_TRUE(testsupport::WriteFileBytes(dir.File(L"a.txt"), "data"));
    ASSERT_FALSE(VolumeHasNamedStreams(dir.SjisPath()));

    TStreamSearchRec rec;
    EXPECT_FALSE(FindFirstStream(file, rec));
    EXPECT_EQ(rec.Handle, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(FindNextStream(rec));
    FindCloseStream(rec);

    TArchiverOptions options;
    WIN32_FIND_DATAW entry = {};
    int added = 0;
    ExportNamedStreams(file, file, options, entry, [&](const std::string&) { ++added; });
    EXPECT_EQ(added, 0);

    // names in stream form that cannot go back into a stream stay as extracted
    for (const char* name : {"a.txt;s;$DATA", "none.txt;s;$DATA", "a;b.txt"}) {
        SCOPED_TRACE(name);
        const std::wstring path = dir.File(platform::SjisToWide(name));
        ASSERT_TRUE(testsupport::WriteFileBytes(path, "x"));
        EXPECT_FALSE(ImportStreamFile(dir.SjisFile(name), options));
        EXPECT_EQ(testsupport::ReadFileBytes(path), "x");
    }
}

}  // namespace
