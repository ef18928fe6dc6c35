#include <gtest/gtest.h>

#include <random>

#include "monitor/launcher.h"
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
    EXPECT_EQ(Expand("%1 %2", "D:\\In\\100%2.txt", "100%2.txt"), "\"D:\\In\\100%2.txt\" 100%2.txt");
    EXPECT_EQ(Expand("%2", "D:\\%1", "%1"), "%1");
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

TEST(Expand, SameAsThreePassesForPathsWithoutPlaceholderText) {
    std::mt19937 rng(11);
    const std::u16string alphabet = u"\"%12 0a\\";
    const std::u16string pathChars = u"ab\\% .2";  // '%' and '2' but never "%1"/"%2"
    std::uniform_int_distribution<size_t> len(0, 12);
    for (int round = 0; round < 20000; ++round) {
        std::u16string templ, fname, fname2;
        for (size_t n = len(rng); n; --n) templ += alphabet[rng() % alphabet.size()];
        for (size_t n = len(rng); n; --n) fname += pathChars[rng() % pathChars.size()];
        for (size_t n = len(rng); n; --n) fname2 += pathChars[rng() % pathChars.size()];
        if (fname.find(u"%1") != std::u16string::npos || fname.find(u"%2") != std::u16string::npos ||
            fname2.find(u"%1") != std::u16string::npos || fname2.find(u"%2") != std::u16string::npos)
            continue;
        ASSERT_EQ(Narrow(ExpandParameters(templ, fname, fname2)), Narrow(ThreePasses(templ, fname, fname2)))
            << Narrow(templ) << " / " << Narrow(fname) << " / " << Narrow(fname2);
    }
}

}  // namespace
