// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

#include "ini_file.h"
#include "settings_ini_file_fixture.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <climits>
#include <functional>

namespace {

struct RewriteCase {
    const char* name;
    QByteArray before; // empty: no file at all
    std::function<void(IniFile&)> change;
    QByteArray after;
};

void PrintTo(const RewriteCase& c, std::ostream* os)
{
    *os << c.name;
}

class IniRewriteTest : public IniFileTest, public ::testing::WithParamInterface<RewriteCase> {};

TEST_P(IniRewriteTest, WritesExpectedBytes)
{
    const RewriteCase& c = GetParam();
    if (!c.before.isEmpty())
        writeFile(c.before);
    IniFile ini;
    EXPECT_EQ(ini.load(path()), !c.before.isEmpty());
    c.change(ini);
    ASSERT_TRUE(ini.save(path()));
    EXPECT_EQ(readFile(), c.after);
}

const QByteArray kLongComment = "; " + QByteArray(298, 'c');
const QByteArray kLongValue = QByteArray(400, 'v');

INSTANTIATE_TEST_SUITE_P(
    Cases, IniRewriteTest,
    ::testing::Values(
        RewriteCase{"NewKeysGoDirectlyAfterTheHeader", "",
                    [](IniFile& ini) {
                        ini.putInt("General", "A", 1);
                        ini.putInt("General", "B", 2);
                        ini.putInt("General", "C", 3);
                    },
                    "[General]\r\nC=3\r\nB=2\r\nA=1\r\n"},
        RewriteCase{"HeaderWithCommentIsNotThatSection", "[General] ;main\nX=1\n",
                    [](IniFile& ini) { ini.putInt("General", "X", 2); },
                    "[General] ;main\r\nX=1\r\n[General]\r\nX=2\r\n"},
        RewriteCase{"KeyKeepsItsSpelling", "[general]\nvcore_hi=3600\n",
                    [](IniFile& ini) { ini.putInt("General", "Vcore_Hi", 3700); },
                    "[general]\r\nvcore_hi=3700\r\n"},
        RewriteCase{"BlankBeforeEqualsIsAnotherKey", "[General]\nVcore_Hi =3600\n",
                    [](IniFile& ini) { ini.putInt("General", "Vcore_Hi", 3700); },
                    "[General]\r\nVcore_Hi=3700\r\nVcore_Hi =3600\r\n"},
        RewriteCase{"CommentTailIsKept", "[General]\nVcore_Hi=3600 ;factory\n",
                    [](IniFile& ini) { ini.putInt("General", "Vcore_Hi", 3700); },
                    "[General]\r\nVcore_Hi=3700;factory\r\n"},
        RewriteCase{"LineEndingsBecomeCrLfOnly", "; settings\n\n[CLOUD]\r\nHOST=10.0.0.1\n[Other]\nx", [](IniFile&) {},
                    "; settings\r\n\r\n[CLOUD]\r\nHOST=10.0.0.1\r\n[Other]\r\nx\r\n"},
        RewriteCase{"OnlyTheFirstOfTwoSectionsChanges", "[A]\nk=1\n[B]\nk=7\n[a]\nk=2\n",
                    [](IniFile& ini) { ini.putInt("A", "k", 5); }, "[A]\r\nk=5\r\n[B]\r\nk=7\r\n[a]\r\nk=2\r\n"},
        RewriteCase{"KeyLinesBeforeAnySectionAreKept", "k=1\n[A]\n",
                    [](IniFile& ini) { ini.putInt("A", "k", 2); }, "k=1\r\n[A]\r\nk=2\r\n"},
        RewriteCase{"LongLinesStayWhole", "[A]\n" + kLongComment + "\nk=" + kLongValue + "\n",
                    [](IniFile& ini) { ini.putString("A", "k", QString::fromLatin1(kLongValue + "w")); },
                    "[A]\r\n" + kLongComment + "\r\nk=" + kLongValue + "w\r\n"},
        RewriteCase{"LineBreakInValueChangesNothing", "[A]\nk=1\n",
                    [](IniFile& ini) { ini.putString("A", "k", "2\r\n[B]"); }, "[A]\r\nk=1\r\n"}),
    [](const ::testing::TestParamInfo<RewriteCase>& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, LooksUpValuesCaseInsensitively)
{
    writeFile("[cloud]\r\nhost=10.1.2.3 ;lab\r\nPort=0x75B\r\nEmpty=\r\n[General]\r\nCBVcore=yes\r\nCBVio=12\r\n"
              "Long=" +
              kLongValue + "\r\n");
    IniFile ini;
    ASSERT_TRUE(ini.load(path()));
    EXPECT_EQ(ini.getString("CLOUD", "HOST", "x"), "10.1.2.3 ");
    EXPECT_EQ(ini.getString("CLOUD", "EMPTY", "x"), "");
    EXPECT_EQ(ini.getString("CLOUD", "MISSING", "x"), "x");
    EXPECT_EQ(ini.getString("General", "Long", "x"), QString::fromLatin1(kLongValue));
    EXPECT_EQ(ini.getInt("CLOUD", "PORT", 0), 1883);
    EXPECT_FALSE(ini.getBool("General", "CBVcore", true));
    EXPECT_TRUE(ini.getBool("General", "CBVio", false));
    EXPECT_TRUE(ini.getBool("General", "CBCPUFan", true));
    EXPECT_EQ(ini.getInt("Nowhere", "PORT", 42), 42);
    EXPECT_EQ(ini.getInt(QString(), "PORT", 42), 42);
}

TEST_F(IniFileTest, ClassifiesLines)
{
    writeFile("[A]\nk=v\n; [not] = a header\nx=[y] ;z\nplain\n\n");
    IniFile ini;
    ASSERT_TRUE(ini.load(path()));
    using K = IniFile::LineKind;
    std::vector<K> kinds;
    for (const IniFile::Line& line : ini.lines())
        kinds.push_back(line.kind);
    EXPECT_EQ(kinds, (std::vector<K>{K::Section, K::Key, K::Other, K::Section, K::Other, K::Other}));
}

TEST_F(IniFileTest, MissingFileReadsDefaults)
{
    IniFile ini;
    EXPECT_FALSE(ini.load(path("absent.ini")));
    EXPECT_TRUE(ini.lines().empty());
    EXPECT_EQ(ini.getInt("General", "Vcore_Hi", 3600), 3600);
}

TEST(IniNumber, ReadsLikeStrtol)
{
    struct Case {
        const char* text;
        int decimal;
        int autoBase;
    };
    const Case cases[] = {
        {"3600", 3600, 3600}, {"", 0, 0},       {"yes", 0, 0},        {"  -50", -50, -50},
        {"+7 ;c", 7, 7},      {"12abc", 12, 12}, {"0x75B", 0, 1883},  {"010", 10, 8},
        {"099", 99, 0},       {"99999999999", INT_MAX, INT_MAX},      {"-99999999999", INT_MIN, INT_MIN},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(iniReadDecimal(c.text), c.decimal) << c.text;
        EXPECT_EQ(iniReadAutoBase(c.text), c.autoBase) << c.text;
    }
}

} // namespace
