#include "ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class IniFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "inifile-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/test.ini";
    }
    void TearDown() override { fs::remove_all(dir_); }

    void WriteRaw(const std::string& content) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << content;
    }
    std::string ReadRaw() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string Get(const std::string& section, const std::string& key) const {
        std::string out;
        CIniFile(path_).GetString(section, key, out);
        return out;
    }

    std::string dir_;
    std::string path_;
};

TEST_F(IniFileTest, MissingFileAndKeysGiveDefaults) {
    CIniFile ini(path_);
    std::string out = "stale";
    EXPECT_EQ(ini.GetString("S", "k", out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(ini.GetInt64("S", "k", -7), -7);
    char buf[4] = {1, 2, 3, 4};
    EXPECT_FALSE(ini.GetStruct("S", "k", buf, sizeof buf));
    EXPECT_EQ(buf[0], 1);

    WriteRaw("[S]\nempty=\nquoted=\"\"\n");
    EXPECT_EQ(ini.GetInt64("S", "empty", 5), 5);
    EXPECT_EQ(ini.GetInt64("S", "quoted", 6), 6);
    EXPECT_EQ(ini.GetInt64("Other", "empty", 8), 8);
}

TEST_F(IniFileTest, IntegersTakeLeadingDigits) {
    WriteRaw(
        "[N]\n"
        "plain=42\n"
        "spaced =  17  \n"
        "neg=-9\n"
        "plus=+3\n"
        "trail=12abc\n"
        "word=abc\n"
        "hex=0x1F\n"
        "big=9223372036854775807\n"
        "min=-9223372036854775808\n"
        "over=99999999999999999999999\n"
        "under=-99999999999999999999999\n"
        "sign=-\n");
    CIniFile ini(path_);
    EXPECT_EQ(ini.GetInt64("N", "plain", 0), 42);
    EXPECT_EQ(ini.GetInt64("N", "spaced", 0), 17);
    EXPECT_EQ(ini.GetInt64("N", "neg", 0), -9);
    EXPECT_EQ(ini.GetInt64("N", "plus", 0), 3);
    EXPECT_EQ(ini.GetInt64("N", "trail", 1), 12);
    EXPECT_EQ(ini.GetInt64("N", "word", 1), 0);
    EXPECT_EQ(ini.GetInt64("N", "hex", 1), 0);
    EXPECT_EQ(ini.GetInt64("N", "big", 0), INT64_MAX);
    EXPECT_EQ(ini.GetInt64("N", "min", 0), INT64_MIN);
    EXPECT_EQ(ini.GetInt64("N", "over", 0), INT64_MAX);
    EXPECT_EQ(ini.GetInt64("N", "under", 0), INT64_MIN);
    EXPECT_EQ(ini.GetInt64("N", "sign", 1), 0);
}

TEST_F(IniFileTest, LayoutRulesOfHandWrittenFiles) {
    // BOM, CRLF, comments, blanks around names and values, case-insensitive
    // names, keys before any section, and duplicates where the first wins.
    WriteRaw(
        "\xEF\xBB\xBF"
        "orphan=1\r\n"
        "; a comment=not a key\r\n"
        "[ Sys ]\r\n"
        "  Name  =  some text  \r\n"
        "dup=first\r\n"
        "dup=second\r\n"
        "noequals\r\n"
        "[sys]\r\n"
        "later=hidden\r\n");
    EXPECT_EQ(Get("SYS", "name"), "some text");
    EXPECT_EQ(Get("sys", "DUP"), "first");
    EXPECT_EQ(Get("sys", "later"), "");
    EXPECT_EQ(Get("", "orphan"), "");
    EXPECT_EQ(Get("Sys", "; a comment"), "");
}

TEST_F(IniFileTest, TextIsCutToTheWindowsBuffer) {
    CIniFile ini(path_);
    const std::string longText(300, 'x');
    ASSERT_TRUE(ini.WriteString("T", "long", longText));
    std::string out;
    EXPECT_EQ(ini.GetString("T", "long", out), 259);
    EXPECT_EQ(out, std::string(259, 'x'));

    // A two-byte character across the cut is dropped whole.
    ASSERT_TRUE(ini.WriteString("T", "utf8", std::string(258, 'a') + "\xC3\xA9" + "tail"));
    EXPECT_EQ(ini.GetString("T", "utf8", out), 258);
    EXPECT_EQ(out, std::string(258, 'a'));

    // An integer is parsed from the cut text, as from the 260-byte buffer.
    ASSERT_TRUE(ini.WriteString("T", "digits", std::string(259, '0') + "7"));
    EXPECT_EQ(ini.GetInt64("T", "digits", 1), 0);
}

TEST_F(IniFileTest, ValuesRoundTrip) {
    CIniFile ini(path_);
    const std::vector<std::string> values = {
        "plain",           "  leading and trailing  ", "\"quoted\"",   "'single'", "a=b=c",
        "[not a section]", "; not a comment",          "中文 keyword", "\"",       "tab\t"};
    for (size_t i = 0; i < values.size(); ++i) {
        ASSERT_TRUE(ini.WriteString("R", "k" + std::to_string(i), values[i])) << values[i];
    }
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(Get("R", "k" + std::to_string(i)), values[i]);
    }
    for (int64_t v : {INT64_MIN, int64_t{-1}, int64_t{0}, INT64_MAX}) {
        ASSERT_TRUE(ini.WriteInt64("R", "n", v));
        EXPECT_EQ(ini.GetInt64("R", "n", 99), v);
    }
}

TEST_F(IniFileTest, WritesThatWouldBreakTheFileAreRefused) {
    WriteRaw("[A]\nk=1\n");
    const std::string before = ReadRaw();
    CIniFile ini(path_);
    EXPECT_FALSE(ini.WriteString("A", "k", "line\n[Proxy]\nType=4"));
    EXPECT_FALSE(ini.WriteString("A", "k", "cr\rtext"));
    EXPECT_FALSE(ini.WriteString("A", "k", std::string("nul\0x", 5)));
    EXPECT_FALSE(ini.WriteString("A", "k=v", "x"));
    EXPECT_FALSE(ini.WriteString("A", "", "x"));
    EXPECT_FALSE(ini.WriteString("A", ";k", "x"));
    EXPECT_FALSE(ini.WriteString("A", "[k", "x"));
    EXPECT_FALSE(ini.WriteString("A]", "k", "x"));
    EXPECT_FALSE(ini.WriteString("A\nB", "k", "x"));
    EXPECT_FALSE(ini.WriteString(" ", "k", "x"));
    EXPECT_EQ(ReadRaw(), before);
}

TEST_F(IniFileTest, WritesKeepTheRestOfTheFile) {
    WriteRaw(
        "; settings\n"
        "[A]\n"
        "one=1\n"
        "Two = 2\n"
        "\n"
        "[B]\n"
        "x=y\n");
    CIniFile ini(path_);
    ASSERT_TRUE(ini.WriteInt64("a", "TWO", 22));
    ASSERT_TRUE(ini.WriteString("A", "three", "3"));
    ASSERT_TRUE(ini.WriteString("C", "new", "n"));
    ASSERT_TRUE(ini.DeleteKey("A", "one"));
    ASSERT_TRUE(ini.DeleteKey("A", "absent"));
    ASSERT_TRUE(ini.DeleteKey("Nowhere", "absent"));
    EXPECT_EQ(ReadRaw(),
              "; settings\n"
              "[A]\n"
              "TWO=22\n"
              "three=3\n"
              "\n"
              "[B]\n"
              "x=y\n"
              "[C]\n"
              "new=n\n");
}

TEST_F(IniFileTest, StructsUseTheWindowsRecordFormat) {
    CIniFile ini(path_);
    const unsigned char bytes[3] = {0x01, 0xA2, 0xFF};
    ASSERT_TRUE(ini.WriteStruct("S", "rec", bytes, sizeof bytes));
    // Each byte as two hex digits, then the byte sum modulo 256.
    EXPECT_EQ(Get("S", "rec"), "01A2FFA2");

    unsigned char back[3] = {};
    ASSERT_TRUE(ini.GetStruct("S", "rec", back, sizeof back));
    EXPECT_EQ(std::vector<unsigned char>(back, back + 3),
              std::vector<unsigned char>(bytes, bytes + 3));

    // Records longer than the text buffer still read whole.
    std::vector<unsigned char> big(200);
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<unsigned char>(i * 7);
    }
    ASSERT_TRUE(ini.WriteStruct("S", "big", big.data(), big.size()));
    std::vector<unsigned char> bigBack(big.size());
    ASSERT_TRUE(ini.GetStruct("S", "big", bigBack.data(), bigBack.size()));
    EXPECT_EQ(bigBack, big);
}

TEST_F(IniFileTest, DamagedStructsAreRejected) {
    WriteRaw(
        "[S]\n"
        "badsum=01A2FF00\n"
        "short=01A2A3\n"
        "long=01A2FF00A2\n"
        "nothex=01G2FFA2\n"
        "lower=01a2ffa2\n");
    CIniFile ini(path_);
    unsigned char buf[3] = {9, 9, 9};
    EXPECT_FALSE(ini.GetStruct("S", "badsum", buf, 3));
    EXPECT_FALSE(ini.GetStruct("S", "short", buf, 3));
    EXPECT_FALSE(ini.GetStruct("S", "long", buf, 3));
    EXPECT_FALSE(ini.GetStruct("S", "nothex", buf, 3));
    EXPECT_FALSE(ini.GetStruct("S", "lower", buf, 2));
    EXPECT_EQ(buf[0], 9);
    EXPECT_TRUE(ini.GetStruct("S", "lower", buf, 3));
    EXPECT_EQ(buf[1], 0xA2);
}

TEST_F(IniFileTest, ReplacementIsAtomicAndKeepsTheFileKind) {
    WriteRaw("[A]\nk=1\n");
    ASSERT_EQ(::chmod(path_.c_str(), 0600), 0);
    const std::string link = dir_ + "/link.ini";
    fs::create_symlink(path_, link);

    CIniFile viaLink(link);
    ASSERT_TRUE(viaLink.WriteInt64("A", "k", 2));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Get("A", "k"), "2");
    struct stat st;
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // No temporary file is left beside the target.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"link.ini", "test.ini"}));

    // A folder that does not exist cannot be written and is not created.
    CIniFile nowhere(dir_ + "/missing/x.ini");
    EXPECT_FALSE(nowhere.WriteInt64("A", "k", 1));
    EXPECT_FALSE(fs::exists(dir_ + "/missing"));
}

TEST_F(IniFileTest, ReadersSeeChangesMadeBehindTheirBack) {
    CIniFile reader(path_);
    WriteRaw("[A]\nk=1\n");
    EXPECT_EQ(reader.GetInt64("A", "k", 0), 1);
    // Same size, same inode, written within the file system's time tick.
    WriteRaw("[A]\nk=2\n");
    EXPECT_EQ(reader.GetInt64("A", "k", 0), 2);

    CIniFile writer(path_);
    ASSERT_TRUE(writer.WriteInt64("A", "k", 3));
    EXPECT_EQ(reader.GetInt64("A", "k", 0), 3);
    fs::remove(path_);
    EXPECT_EQ(reader.GetInt64("A", "k", 0), 0);
}

TEST_F(IniFileTest, WritersOfOtherSectionsNeverLoseKeys) {
    // Two objects on one file, as two plug-ins hold them.
    CIniFile first(path_);
    CIniFile second(path_);
    ASSERT_TRUE(first.WriteInt64("One", "a", 1));
    ASSERT_TRUE(second.WriteInt64("Two", "b", 2));
    ASSERT_TRUE(first.WriteInt64("One", "c", 3));
    EXPECT_EQ(second.GetInt64("One", "a", 0), 1);
    EXPECT_EQ(second.GetInt64("One", "c", 0), 3);
    EXPECT_EQ(first.GetInt64("Two", "b", 0), 2);

    // Several processes writing at once.
    constexpr int kWriters = 4;
    constexpr int kKeys = 40;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CIniFile ini(path_);
            bool ok = true;
            for (int k = 0; k < kKeys; ++k) {
                ok = ini.WriteInt64("W" + std::to_string(w), std::to_string(k), w * 1000 + k) && ok;
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    CIniFile ini(path_);
    for (int w = 0; w < kWriters; ++w) {
        for (int k = 0; k < kKeys; ++k) {
            EXPECT_EQ(ini.GetInt64("W" + std::to_string(w), std::to_string(k), -1), w * 1000 + k);
        }
    }
    EXPECT_EQ(ini.GetInt64("Two", "b", 0), 2);
}

TEST_F(IniFileTest, BatchWritesOnceAndKeepsOtherWriters) {
    CIniFile ini(path_);
    CIniFile other(path_);
    ino_t before = 0;
    {
        CIniFile::Batch outer(ini);
        {
            CIniFile::Batch inner(ini);
            ASSERT_TRUE(ini.WriteInt64("A", "one", 1));
            ASSERT_TRUE(ini.WriteString("B", "two", "2"));
        }
        // Held until the outermost batch ends.
        EXPECT_FALSE(fs::exists(path_));
        ASSERT_TRUE(ini.DeleteKey("A", "one"));
        ASSERT_TRUE(ini.WriteInt64("A", "three", 3));
        // Another writer gets in before the batch is written.
        ASSERT_TRUE(other.WriteString("C", "kept", "yes"));
        struct stat st;
        ASSERT_EQ(::stat(path_.c_str(), &st), 0);
        before = st.st_ino;
        EXPECT_TRUE(outer.Commit());
    }
    struct stat st;
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_NE(st.st_ino, before);
    EXPECT_EQ(ReadRaw(), "[C]\nkept=yes\n[A]\nthree=3\n[B]\ntwo=2\n");
    // Refused writes are refused at once, not when the batch ends.
    CIniFile::Batch batch(ini);
    EXPECT_FALSE(ini.WriteString("A", "bad=key", "x"));
}

// Files the fuzzer found faults with (tests/inifile/fuzz_findings/).
TEST_F(IniFileTest, FilesTheFuzzerFoundFaultsWith) {
    const struct {
        const char* file;  // in tests/inifile/fuzz_findings/
        bool (*write)(CIniFile&);
        int64_t read;  // [a] k afterwards; -1 when missing
        std::string after;
    } cases[] = {
        // A deleted key must not read back from an older duplicate line.
        {"duplicate-keys.ini", [](CIniFile& ini) { return ini.DeleteKey("a", "K"); }, -1,
         "[A]\nother=o\n[a]\nk=4\n"},
        // A write keeps the byte order mark, or a second one would become the
        // mark and the section behind it would shadow the written one.
        {"double-byte-order-mark.ini", [](CIniFile& ini) { return ini.WriteInt64("a", "k", 5); }, 5,
         "\xEF\xBB\xBF\xEF\xBB\xBF[a]\nk=4\n[a]\nk=5\n"},
    };
    for (const auto& c : cases) {
        std::ifstream fixture(std::string(INIFILE_FUZZ_FINDINGS) + "/" + c.file, std::ios::binary);
        std::stringstream content;
        content << fixture.rdbuf();
        ASSERT_FALSE(content.str().empty()) << c.file;
        WriteRaw(content.str());
        CIniFile ini(path_);
        ASSERT_TRUE(c.write(ini)) << c.file;
        EXPECT_EQ(ini.GetInt64("a", "k", -1), c.read) << c.file;
        EXPECT_EQ(ReadRaw(), c.after) << c.file;
    }
}

TEST(IniFileAppDir, FollowsTheHomeOrTheExecutable) {
    const std::string exeDir = CIniFile::GetAppDir();
    ASSERT_FALSE(exeDir.empty());
    EXPECT_EQ(exeDir.back(), '/');
    EXPECT_TRUE(fs::exists(exeDir + "ini_file_tests"));

    CIniFile::SetAppDir("/srv/home");
    EXPECT_EQ(CIniFile::GetAppDir(), "/srv/home/");
    CIniFile::SetAppDir("/srv/other/");
    EXPECT_EQ(CIniFile::GetAppDir(), "/srv/other/");
    CIniFile::SetAppDir("");
    EXPECT_EQ(CIniFile::GetAppDir(), exeDir);
}

}  // namespace
