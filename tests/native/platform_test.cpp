#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "base/command_line.h"
#include "platform/shell.h"
#include "base/text.h"
#include "test_support.h"

using test::Narrow;
using test::Wide;

namespace {

TEST(Text, Utf8RoundTripKeepsEveryByte) {
    std::string valid = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    EXPECT_EQ(base::Utf8ToUtf16(valid), u"a\u00E9\u20AC\U0001F600");
    for (std::string bytes : {valid, std::string("\xFF\xC3(\xED\xA0\x80\xC0\xAF"), std::string("x\x80")}) {
        EXPECT_EQ(base::Utf16ToUtf8(base::Utf8ToUtf16(bytes)), bytes);
    }
}

TEST(CommandLine, SplitsLikeAWindowsRuntime) {
    auto split = [](const std::string& s) {
        std::vector<std::string> out;
        for (auto& a : base::SplitCommandLine(Wide(s))) out.push_back(Narrow(a));
        return out;
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(split("/c echo \"D:\\In\\a b.txt\""), (V{"/c", "echo", "D:\\In\\a b.txt"}));
    EXPECT_EQ(split("  a\t\tb  "), (V{"a", "b"}));
    EXPECT_EQ(split("a\\\\\\\"b"), (V{"a\\\"b"}));      // 3 backslashes + quote
    EXPECT_EQ(split("\"a\\\\\" b"), (V{"a\\", "b"}));    // 2 backslashes + quote
    EXPECT_EQ(split("a\\b\\\\c"), (V{"a\\b\\\\c"}));     // no quote: literal
    EXPECT_EQ(split("\"x\"\"y\" z"), (V{"x\"y", "z"}));
    EXPECT_EQ(split("\"\""), (V{""}));
    EXPECT_EQ(split(""), V{});
}

#ifndef _WIN32
bool WaitFor(const std::filesystem::path& path) {
    for (int i = 0; i < 500 && !std::filesystem::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return std::filesystem::exists(path);
}

TEST(Shell, StartsProgramWithSplitArgumentsAndNoShellInBetween) {
    test::TempTree tree;
    std::string odd = (tree.Root() / "a b;$(touch pwned)&.txt").string();
    std::u16string params = u"\"" + Wide(odd) + u"\"";
    const platform::Launched touch = platform::ShellOpen(nullptr, u"touch", params.c_str(), true);
    ASSERT_TRUE(touch.started);
    EXPECT_TRUE(WaitFor(odd));
    EXPECT_FALSE(std::filesystem::exists("pwned"));
    uint32_t code = 1;
    for (int i = 0; i < 500 && !platform::ProcessEnded(touch.process, code); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(code, 0u);
    platform::ReleaseProcess(touch.process);
    const platform::Launched none = platform::ShellOpen(nullptr, u"", u"x", false);
    EXPECT_FALSE(none.started);
    EXPECT_FALSE(platform::ErrorText(none.error).empty());
}
#endif

}  // namespace
