#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
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

// One character cmd or a program's runtime could read as syntax per name,
// then whole attacks: operators, blanks, variables cmd expands (its dynamic
// ones too), and letters beyond ASCII.
const char* const kHostile[] = {
    "a&b.txt",
    "a|b.txt",
    "a<b",
    "a>b.txt",
    "a^b.txt",
    "(a.txt",
    "a).txt",
    "100%.txt",
    "a!b.txt",
    "a,b.txt",
    "a;b.txt",
    "a=b.txt",
    "a+b.txt",
    "a b.txt",
    "it's.txt",
    "@x.txt",
    "\xc3\xbc\xe2\x82\xac.txt",
    "a&mkdir canary1.txt",
    "b & mkdir canary2",
    "(c)&mkdir canary3.txt",
    "a) & (b.txt",
    "  two  blanks .txt",
    "sub\\a & b.txt",
    "%CMDCMDLINE%&calc&.txt",
    "%CMDCMDLINE%&mkdir canary&.txt",
    "100%% %USERNAME% done.txt",
    "%PATH%&calc.txt",
    "%CD%%DATE%%TIME%%RANDOM%%ERRORLEVEL%&calc.txt",
    "sub\\%CMDCMDLINE%.txt",
    "%%CMDCMDLINE%%.txt",
    "!CMDCMDLINE!&calc&.txt",
    "^!PATH^!.txt",
    "a^^%PATH^%.txt",
};

std::string Launch(const std::string& command, const std::string& templ, const std::string& name) {
    return Narrow(
        LaunchParameters(Wide(command), Wide(templ), Wide("C:\\In\\" + name), Wide(name)));
}

std::vector<std::string> Arguments(const std::string& params) {
    std::vector<std::string> out;
    for (const auto& arg : base::SplitCommandLine(Wide(params))) out.push_back(Narrow(arg));
    return out;
}

// A model of how Windows' cmd runs a line given with /c: its quote
// stripping, the expansion of %NAME% (command-line rules: a name it does not
// know stays as it is, with the scan going on after the first '%'), the
// parse (quotes, carets, operators) and, under /v:on, the expansion of
// !NAME!. The environment holds values with quotes and operators, and
// CMDCMDLINE holds the whole command line, as cmd's does.
class Cmd {
  public:
    Cmd(const std::string& program, const std::string& params) {
        env_ = {{"CD", "C:\\In"},
                {"DATE", "11.12.2026"},
                {"TIME", "10:00:00,00"},
                {"RANDOM", "4711"},
                {"ERRORLEVEL", "0"},
                {"USERNAME", "user"},
                {"PATH", "C:\\Windows;\"C:\\odd\" & calc"},
                {"CMDCMDLINE", "\"C:\\Windows\\System32\\cmd.exe\" /c " + params}};
        std::string line = params;
        bool delayed = false;
        if (program.ends_with(".bat")) {
            line = "\"" + program + "\" " + params;
        } else {
            const size_t c = params.find("/c ");
            line = params.substr(params.find_first_not_of(' ', c + 3));
            const std::string switches = params.substr(0, c);
            delayed = Upper(switches).find("/V:ON") != std::string::npos;
            const bool s = switches.find("/s") != std::string::npos;
            const size_t second = line.find('"', 1);
            const bool keeps =
                !s && std::count(line.begin(), line.end(), '"') == 2 &&
                line.substr(1, second).find(' ') != std::string::npos &&
                line.substr(1, second).find_first_of("&<>()@^|") == std::string::npos;
            if (line[0] == '"' && !keeps) {
                line.erase(line.rfind('"'), 1);
                line.erase(0, 1);
            }
        }
        line = Parse(Percents(line));
        if (delayed && line.find('!') != std::string::npos) line = Bangs(line);
        line_ = line;
    }

    const std::string& Line() const { return line_; }
    // Operators cmd acted on, in order.
    const std::string& Operators() const { return operators_; }
    // The words cmd's own commands (copy, move, a batch file's arguments)
    // take, without quotes.
    std::vector<std::string> Words() const {
        std::vector<std::string> words(1);
        bool inside = false;
        for (char ch : line_) {
            if (ch == '"')
                inside = !inside;
            else if (!inside && std::strchr(" \t,;=+", ch))
                words.emplace_back();
            else
                words.back() += ch;
        }
        return words;
    }

  private:
    const std::string* Find(const std::string& name) const {
        for (const auto& [key, value] : env_)
            if (Upper(key) == Upper(name)) return &value;
        return nullptr;
    }
    static std::string Upper(std::string text) {
        for (char& ch : text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        return text;
    }

    std::string Percents(const std::string& line) const {
        std::string out;
        for (size_t i = 0; i < line.size();) {
            if (line[i] != '%') {
                out += line[i++];
                continue;
            }
            size_t end = line.find_first_of("%:", i + 1);
            if (end == std::string::npos) {
                out += line[i++];
                continue;
            }
            std::string name = line.substr(i + 1, end - i - 1);
            if (line[end] == ':' && end + 1 < line.size() && line[end + 1] == '%')
                name += line[end++];
            const std::string* value = Find(name);
            if (value && line[end] == '%') {
                out += *value;
                i = end + 1;
                continue;
            }
            const size_t close = line.find('%', end + 1);
            if (value && line[end] == ':' && close != std::string::npos) {
                out += Modified(*value, line.substr(end + 1, close - end - 1));
                i = close + 1;
                continue;
            }
            out += line[i++];
        }
        return out;
    }
    // %NAME:~from,length% and %NAME:find=replace%, roughly; enough to
    // tell that a value came in at all.
    static std::string Modified(const std::string& value, const std::string& how) {
        if (how.starts_with("~"))
            return value.substr(std::min<size_t>(value.size(), std::atoi(how.c_str() + 1)));
        const size_t eq = how.find('=');
        return eq == std::string::npos ? "%" + how + "%" : value + how.substr(eq + 1);
    }

    std::string Parse(const std::string& line) {
        std::string out;
        bool inside = false;
        for (size_t i = 0; i < line.size(); ++i) {
            const char ch = line[i];
            if (ch == '"') {
                inside = !inside;
            } else if (!inside && ch == '^' && i + 1 < line.size()) {
                out += line[++i];
                continue;
            } else if (!inside && std::strchr("&|<>()", ch)) {
                operators_ += ch;
            }
            out += ch;
        }
        return out;
    }

    std::string Bangs(const std::string& line) const {
        std::string out;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '^' && i + 1 < line.size()) {
                out += line[++i];
            } else if (const size_t close = line.find('!', i + 1);
                       line[i] == '!' && close != std::string::npos &&
                       Find(line.substr(i + 1, close - i - 1))) {
                out += *Find(line.substr(i + 1, close - i - 1));
                i = close;
            } else {
                out += line[i];
            }
        }
        return out;
    }

    std::vector<std::pair<std::string, std::string>> env_;
    std::string line_, operators_;
};

// A path as Windows reads it: a run of backslashes is one.
std::string Collapsed(const std::string& path) {
    std::string out;
    for (char ch : path)
        if (ch != '\\' || !out.ends_with('\\')) out += ch;
    return out;
}

bool AnyHolds(const std::vector<std::string>& words, const std::string& text) {
    return std::any_of(words.begin(), words.end(), [&](const std::string& word) {
        return word.find(text) != std::string::npos;
    });
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

TEST(Launch, UnderCmdNoNameRunsAnythingAndEachArrivesWhole) {
    const char* const templates[] = {
        "/c %1",
        "/c \"%1\"",
        "/c echo %1",
        "/c echo \"%1\"",
        "/c echo %2",
        "/c echo \"%2\"",
        "/c copy %1 out\\%2",
        "/c copy \"%1\" \"out\\%2\"",
        "/c \"copy %1 out\\%2\"",
        "/c \"copy \"%1\" out\\%2\"",
        "/d /c \"%1\" && echo %2",
        "/c \"C:\\Program Files\\tool.exe\" %2",
        "/s /c \"copy %1 out\\%2\"",
        "/c echo \"at %1 now\"",
        "/c move \"%1\" D:\\Done",
        "/c start \"\" %1",
        "/c C:\\scripts\\handle.bat %1",
        "/c copy %1 \"out\\%2\"",
        "/v:on /c copy %1 out\\%2",
        "/v:on /c echo !CD! \"%1\" %2",
        "/V:ON /c \"copy %1 out\\%2\"",
    };
    const std::pair<const char*, const char*> batch[] = {{"C:\\scripts\\handle.bat", "%1"},
                                                         {"C:\\scripts\\handle.bat", "\"%1\" %2"}};
    std::vector<std::pair<std::string, std::string>> cases;
    for (const char* command : {"cmd", "CMD.EXE", "C:\\Windows\\System32\\cmd.exe"})
        for (const char* templ : templates) cases.emplace_back(command, templ);
    cases.insert(cases.end(), std::begin(batch), std::end(batch));
    // And names put together at random from the pieces that matter.
    std::vector<std::string> names(std::begin(kHostile), std::end(kHostile));
    const char* const pieces[] = {"%", "%", "!", "^", "&", "(", ")", " ", ",", "\\", "a",
                                  "CMDCMDLINE", "PATH", "CD", ":", "~"};
    std::mt19937 rng(23);
    for (int n = 0; n < 150; ++n) {
        std::string name;
        for (size_t k = 1 + rng() % 8; k; --k) name += pieces[rng() % std::size(pieces)];
        names.push_back(name + ".txt");
    }
    for (const auto& [command, templ] : cases) {
        const std::string program = command.ends_with(".bat") ? command : "cmd";
        const std::string own = Cmd(program, Launch(command, templ, "plain.txt")).Operators();
        for (const std::string& name : names) {
            const std::string params = Launch(command, templ, name);
            SCOPED_TRACE(command + " " + templ + " / " + name + " -> " + params);
            const Cmd cmd(program, params);
            EXPECT_EQ(cmd.Operators(), own) << cmd.Line();
            const std::vector<std::string> args = Arguments(cmd.Line());
            std::vector<std::string> words;
            for (const std::string& word : cmd.Words()) words.push_back(Collapsed(word));
            // A name of plain characters keeps the quotes the scan gives it,
            // inside the template's as well: its blanks split it there, as
            // they always did.
            const bool plain =
                std::string(name).find_first_of("&|<>^()%!,;=+") == std::string::npos;
            if (plain && templ.find("\"at %1") != std::string::npos) continue;
            for (const std::string& path : {"C:\\In\\" + std::string(name), std::string(name)}) {
                if (templ.find(path == name ? "%2" : "%1") == std::string::npos) continue;
                EXPECT_TRUE(AnyHolds(args, path)) << cmd.Line();
                EXPECT_TRUE(AnyHolds(words, Collapsed(path))) << cmd.Line();
            }
        }
    }
}

TEST(Launch, ExactParameters) {
    EXPECT_EQ(Launch("cmd", "/c \"%1\"", "a b.txt"), "/c \"C:\\In\\a b.txt\"");
    EXPECT_EQ(Launch("cmd", "/c copy \"%1\" out\\%2", "a-b_1.txt"),
              "/c copy \"C:\\In\\a-b_1.txt\" out\\a-b_1.txt");
    EXPECT_EQ(Launch("cmd", "/c \"copy %1 out\\%2\"", "a.txt"),
              "/c \"copy \"C:\\In\\a.txt\" out\\a.txt\"");
    EXPECT_EQ(Launch("prog", "x \"%2\" %1", "a b.txt"), "x \"a b.txt\" \"C:\\In\\a b.txt\"");
    EXPECT_EQ(Launch("prog", "\"at %1\"", "a b.txt"), "\"at \"C:\\In\\a b.txt\"\"");
    // The blank that would split: quoted, from the start of its word.
    EXPECT_EQ(Launch("prog", "x out\\%2.bak", "a b.txt"), "x \"out\\a b.txt\".bak");
    EXPECT_EQ(Launch("cmd", "/c \"copy %1 out\\%2\"", "a b.txt"),
              "/s /c \"copy \"C:\\In\\a b.txt\" \"out\\a b.txt\"\"");
    // Syntax in a name: the template's quotes are kept from cmd.
    EXPECT_EQ(Launch("cmd", "/c \"%1\"", "a&b"), "/s /c \"\"C:\\In\\a&b\"\"");
    EXPECT_EQ(Launch("cmd", "/c copy %1 >out\\%2", "a&b"), "/c copy \"C:\\In\\a&b\" >\"out\\a&b\"");
    EXPECT_EQ(Launch("cmd", "/c echo \"at %1\"", "a&b"), "/c echo \"at C:\\In\\a&b\"");
    EXPECT_EQ(Launch("cmd", "/c \"copy \"%1\" out\\%2\"", "a&b"),
              "/s /c \"copy \"C:\\In\\a&b\" \"out\\a&b\"\"");
    // Each '%' of a name stands between quotes of its own, wherever it is;
    // a backslash before such a quote is doubled for the program's runtime.
    EXPECT_EQ(Launch("cmd", "/c echo \"at %1 now\"", "100%.txt"),
              "/c echo \"at C:\\In\\100\"%\".txt now\"");
    EXPECT_EQ(Launch("cmd", "/c copy %1 out\\%2", "%CMDCMDLINE%&calc&.txt"),
              "/c copy \"C:\\In\\\\\"%\"CMDCMDLINE\"%\"&calc&.txt\" "
              "\"out\\\\\"%\"CMDCMDLINE\"%\"&calc&.txt\"");
    EXPECT_EQ(Launch("C:\\x\\h.bat", "%1", "5%.txt"), "\"C:\\In\\5\"%\".txt\"");
    EXPECT_EQ(Launch("cmd", "/c copy %2 \"out\\%2\"", "%x%.txt"),
              "/c copy ^%\"x\"%\".txt\" \"out\\\\\"%\"x\"%\".txt\"");
    // An escaped quote of the template's own opens nothing for cmd.
    EXPECT_EQ(Launch("cmd", "/c echo ^\"%1^\"", "a&b"), "/c echo ^\"\"C:\\In\\a&b\"^\"");
    // Under /v:on carets keep a name's '!' and '^'; without a word on it, a
    // name's '!' turns the expansion off.
    EXPECT_EQ(Launch("cmd", "/v:on /c echo \"%1\"", "a!b^c"), "/v:on /c echo \"C:\\In\\a^!b^^c\"");
    EXPECT_EQ(Launch("cmd", "/c echo %1", "a!b"), "/v:off /c echo \"C:\\In\\a!b\"");
}

}  // namespace
