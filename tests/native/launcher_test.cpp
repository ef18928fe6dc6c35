#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "monitor/launcher.h"
#include "base/command_line.h"
#include "test_support.h"

using test::Narrow;
using test::Wide;

namespace {

std::string Expand(const std::string& templ, const std::string& fname, const std::string& fname2) {
    return Narrow(ExpandParameters(Wide(templ), Wide(fname), Wide(fname2)));
}

TEST(Expand, WorkedExamplesAndEdgeCases) {
    EXPECT_EQ(Expand("/c echo %1", "D:\\In\\report.txt", "report.txt"), "/c echo \"D:\\In\\report.txt\"");
    EXPECT_EQ(Expand("/c copy \"%1\" E:\\Out\\%2", "D:\\In\\sub\\a.txt", "sub\\a.txt"),
              "/c copy \"D:\\In\\sub\\a.txt\" E:\\Out\\sub\\a.txt");
    EXPECT_EQ(Expand("%1 %1", "p", "r"), "\"p\" \"p\"");
    EXPECT_EQ(Expand("%10 %3 %%1 %", "p", "r"), "\"p\"0 %3 %\"p\" %");
    EXPECT_EQ(Expand("no placeholders", "p", "r"), "no placeholders");
    EXPECT_EQ(Expand("", "p", "r"), "");
    EXPECT_EQ(Expand("\"%1\"\"%1\"", "p", "r"), "\"p\"\"p\"");
}

TEST(Expand, InsertedPathsAreNeverScannedAgain) {
    EXPECT_EQ(Expand("%1 %2", "D:\\In\\100%2.txt", "100%2.txt"),
              "\"D:\\In\\100%2.txt\" \"100%2.txt\"");
    EXPECT_EQ(Expand("\"%2\"", "D:\\%1", "%1"), "\"%1\"");
}

// The three replacement passes, each over the whole result of the one before.
std::u16string ReplaceAll(const std::u16string& text, std::u16string_view what, std::u16string_view by) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        if (std::u16string_view(text).substr(i).starts_with(what)) {
            out += by;
            i += what.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

std::u16string ThreePasses(const std::u16string& templ, const std::u16string& fname, const std::u16string& fname2) {
    std::u16string q = u"\"" + fname + u"\"";
    return ReplaceAll(ReplaceAll(ReplaceAll(templ, u"\"%1\"", q), u"%1", q), u"%2", fname2);
}

TEST(Expand, SameAsThreePassesForPlainPaths) {
    std::mt19937 rng(11);
    const std::u16string alphabet = u"\"%12 0a\\";
    const std::u16string pathChars = u"ab\\-._2";  // plain characters only
    std::uniform_int_distribution<size_t> len(0, 12);
    for (int round = 0; round < 20000; ++round) {
        std::u16string templ, fname, fname2;
        for (size_t n = len(rng); n; --n) templ += alphabet[rng() % alphabet.size()];
        for (size_t n = len(rng); n; --n) fname += pathChars[rng() % pathChars.size()];
        for (size_t n = len(rng); n; --n) fname2 += pathChars[rng() % pathChars.size()];
        ASSERT_EQ(Narrow(ExpandParameters(templ, fname, fname2)), Narrow(ThreePasses(templ, fname, fname2)))
            << Narrow(templ) << " / " << Narrow(fname) << " / " << Narrow(fname2);
    }
}

// Names Windows allows that hold cmd's syntax, blanks, variables and
// letters beyond ASCII.
const char* const kHostile[] = {
    "a&mkdir canary1.txt", "b & mkdir canary2", "(c)&mkdir canary3.txt", "x|y.txt", "a^b.txt",
    "a>b.txt", "a<b", "100%.txt", "%PATH%.txt", "!x!.txt", "a,b;c=d+e.txt", "it's.txt",
    "a) & (b.txt", "@x.txt", "  two  blanks .txt", "\xc3\xbc \xe2\x82\xac.txt", "sub\\a & b.txt",
};

std::string Launch(const std::string& command, const std::string& templ, const std::string& name) {
    return Narrow(LaunchParameters(Wide(command), Wide(templ), Wide("C:\\In\\" + name), Wide(name)));
}

std::vector<std::string> Arguments(const std::string& params) {
    std::vector<std::string> out;
    for (const auto& arg : base::SplitCommandLine(Wide(params))) out.push_back(Narrow(arg));
    return out;
}

// What cmd runs of its parameters: the line after /c, stripped of its first
// and last quote unless cmd keeps them, and the syntax in it outside quotes.
struct CmdLine {
    std::string line, outside;
};
CmdLine AsCmd(const std::string& params) {
    const size_t c = params.find("/c ");
    CmdLine cmd{params.substr(params.find_first_not_of(' ', c + 3)), {}};
    const bool s = params.substr(0, c).find("/s") != std::string::npos;
    const size_t second = cmd.line.find('"', 1);
    const bool keeps = !s && std::count(cmd.line.begin(), cmd.line.end(), '"') == 2 &&
                       cmd.line.substr(1, second).find(' ') != std::string::npos &&
                       cmd.line.substr(1, second).find_first_of("&<>()@^|") == std::string::npos;
    if (cmd.line[0] == '"' && !keeps) {
        cmd.line.erase(cmd.line.rfind('"'), 1);
        cmd.line.erase(0, 1);
    }
    bool inside = false;
    for (char ch : cmd.line) {
        if (ch == '"')
            inside = !inside;
        else if (!inside && std::strchr("&|<>^()", ch))
            cmd.outside += ch;
    }
    return cmd;
}

TEST(Launch, APlaceholderOnItsOwnIsExactlyOneArgument) {
    for (const char* name : kHostile) {
        const std::string full = "C:\\In\\" + std::string(name);
        SCOPED_TRACE(name);
        EXPECT_EQ(Arguments(Launch("prog", "%1", name)), std::vector<std::string>{full});
        EXPECT_EQ(Arguments(Launch("prog", "\"%1\"", name)), std::vector<std::string>{full});
        EXPECT_EQ(Arguments(Launch("prog", "-x %2 -y", name)),
                  (std::vector<std::string>{"-x", name, "-y"}));
        EXPECT_EQ(Arguments(Launch("prog", "\"%2\"", name)), std::vector<std::string>{name});
        EXPECT_EQ(Arguments(Launch("prog", "out\\%2", name)),
                  std::vector<std::string>{"out\\" + std::string(name)});
        EXPECT_EQ(Arguments(Launch("prog", "\"out dir\\%2\"", name)),
                  std::vector<std::string>{"out dir\\" + std::string(name)});
        EXPECT_EQ(Arguments(Launch("prog", "\"out dir\"\\%2", name)),
                  std::vector<std::string>{"out dir\\" + std::string(name)});
    }
}

TEST(Launch, UnderCmdNoNameRunsAnything) {
    const char* const templates[] = {
        "/c %1",           "/c \"%1\"",         "/c echo %1",  "/c echo \"%1\"",
        "/c echo %2",      "/c echo \"%2\"",    "/c copy %1 out\\%2",
        "/c copy \"%1\" \"out\\%2\"",           "/c \"copy %1 out\\%2\"",
        "/c \"copy \"%1\" out\\%2\"",           "/d /c \"%1\" && echo %2",
        "/c \"C:\\Program Files\\tool.exe\" %2", "/s /c \"copy %1 out\\%2\"",
        "/c echo \"at %1 now\"",
    };
    for (const char* command : {"cmd", "CMD.EXE", "C:\\Windows\\System32\\cmd.exe"}) {
        for (const char* templ : templates) {
            const std::string own = AsCmd(Launch(command, templ, "plain.txt")).outside;
            for (const char* name : kHostile) {
                const std::string params = Launch(command, templ, name);
                SCOPED_TRACE(std::string(templ) + " / " + name + " -> " + params);
                const CmdLine cmd = AsCmd(params);
                EXPECT_EQ(cmd.outside, own);
                EXPECT_NE(cmd.line.find(name), std::string::npos);
            }
        }
    }
}

TEST(Launch, PlainNamesKeepTodaysParametersUnlessABlankWouldSplitAnUnquotedPath) {
    EXPECT_EQ(Launch("cmd", "/c \"%1\"", "a b.txt"), "/c \"C:\\In\\a b.txt\"");
    EXPECT_EQ(Launch("cmd", "/c copy \"%1\" out\\%2", "a-b_1.txt"),
              "/c copy \"C:\\In\\a-b_1.txt\" out\\a-b_1.txt");
    EXPECT_EQ(Launch("cmd", "/c \"copy %1 out\\%2\"", "a.txt"), "/c \"copy \"C:\\In\\a.txt\" out\\a.txt\"");
    EXPECT_EQ(Launch("prog", "x \"%2\" %1", "a b.txt"), "x \"a b.txt\" \"C:\\In\\a b.txt\"");
    EXPECT_EQ(Launch("prog", "\"at %1\"", "a b.txt"), "\"at \"C:\\In\\a b.txt\"\"");
    // The blank that would split: quoted, from the start of its word.
    EXPECT_EQ(Launch("prog", "x out\\%2.bak", "a b.txt"), "x \"out\\a b.txt\".bak");
    EXPECT_EQ(Launch("cmd", "/c \"copy %1 out\\%2\"", "a b.txt"),
              "/s /c \"copy \"C:\\In\\a b.txt\" \"out\\a b.txt\"\"");
    // Syntax in a name: the template's quotes are kept from cmd.
    EXPECT_EQ(Launch("cmd", "/c \"%1\"", "a&b"), "/s /c \"\"C:\\In\\a&b\"\"");
    EXPECT_EQ(Launch("cmd", "/c copy %1 >out\\%2", "a&b"),
              "/c copy \"C:\\In\\a&b\" >\"out\\a&b\"");
    EXPECT_EQ(Launch("cmd", "/c echo \"at %1\"", "a&b"), "/c echo \"at C:\\In\\a&b\"");
}

}  // namespace
