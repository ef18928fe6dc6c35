// Starting an entry's command for one new or changed file.
#include "monitor/launcher.h"

#include <algorithm>
#include <utility>

#include "platform/file.h"
#include "ui/main_form.h"

namespace {

constexpr std::u16string_view kQuotedFull = u"\"%1\"";

bool Blank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// What cmd reads as syntax outside double quotes: its operators, the escape,
// variables, and what its commands take as separators (copy also joins files
// with '+').
bool Syntax(char16_t c) {
    return std::u16string_view(u"&|<>^()%!,;=+").find(c) != std::u16string_view::npos;
}

bool HasSyntax(std::u16string_view text) {
    for (char16_t c : text)
        if (Syntax(c)) return true;
    return false;
}

bool NeedsQuotes(std::u16string_view text) {
    for (char16_t c : text)
        if (Blank(c) || Syntax(c)) return true;
    return false;
}

// The three replacements exactly as the scan makes them, with no regard for
// what the paths hold.
std::u16string Unprotected(std::u16string_view command2, std::u16string_view fname,
                           std::u16string_view fname2) {
    std::u16string out;
    for (size_t i = 0; i < command2.size();) {
        std::u16string_view rest = command2.substr(i);
        if (rest.starts_with(kQuotedFull) || rest.starts_with(u"%1")) {
            out.append(u"\"").append(fname).append(u"\"");
            i += rest.starts_with(kQuotedFull) ? 4 : 2;
        } else if (rest.starts_with(u"%2")) {
            out += fname2;
            i += 2;
        } else {
            out += command2[i++];
        }
    }
    return out;
}

// How cmd reads a parameter string it runs as a command line.
struct CmdReading {
    bool on = false;       // cmd parses the parameters
    bool delayed = false;  // and expands !NAME! once it has parsed them
};

// Appends a path where cmd, if it reads the line, stands inside double
// quotes. cmd replaces %NAME% before it looks at quotes, and a pair may take
// in a name's text: each '%' of the path therefore stands alone between
// quotes of its own ("%"), so that every name cmd could read from it holds a
// double quote (or, before a path's first character, ends in a caret), as
// no variable's name does; a program's runtime joins the pieces back into
// one argument. The backslashes before such a quote are
// doubled, or the runtime would read \" as a literal quote. Where !NAME! is
// expanded too, a caret keeps each '!' and '^' of the path as it is.
void AppendData(std::u16string& out, std::u16string_view path, CmdReading cmd) {
    if (!cmd.on) {
        out += path;
        return;
    }
    for (size_t i = 0; i < path.size(); ++i) {
        const char16_t c = path[i];
        if (c == u'%' && i == 0 && out.ends_with(u'"') && !out.ends_with(u"\\\"")) {
            // An empty pair of quotes before it would be an argument of its
            // own to some commands (Wine's copy): the quotes open after the
            // '%' instead, and a caret, which cmd drops, stands before it.
            out.back() = u'^';
            out.append(u"%\"");
        } else if (c == u'%') {
            size_t backslashes = 0;
            while (backslashes < out.size() && out[out.size() - 1 - backslashes] == u'\\')
                ++backslashes;
            out.append(backslashes, u'\\').append(u"\"%\"");
        } else {
            if (cmd.delayed && (c == u'!' || c == u'^')) out += u'^';
            out += c;
        }
    }
}

// Puts `path` in double quotes at the end of `out`, which stands outside
// quotes. The opening quote goes to the start of the word the path ends, so
// that out\%2 gives "out\a b.txt": a quote right behind a backslash would
// read as a literal quote to a program's runtime.
void AppendQuoted(std::u16string& out, std::u16string_view path, CmdReading cmd) {
    size_t start = out.size();
    while (start > 0 && !Blank(out[start - 1]) &&
           std::u16string_view(u"&|<>()\"^").find(out[start - 1]) == std::u16string_view::npos)
        --start;
    if (start > 0 && (out[start - 1] == u'"' || out[start - 1] == u'^')) {
        // The word holds quotes or escapes of the template's own: quote the
        // path where it stands, with the backslashes before it doubled so
        // that they stay backslashes.
        size_t backslashes = 0;
        while (backslashes < out.size() && out[out.size() - 1 - backslashes] == u'\\')
            ++backslashes;
        out.append(backslashes, u'\\');
        start = out.size();
    }
    out.insert(start, 1, u'"');
    AppendData(out, path, cmd);
    out += u'"';
}

// The program's file name in lower case, without quotes or folder.
std::u16string FileName(std::u16string_view command) {
    while (!command.empty() && (Blank(command.front()) || command.front() == u'"'))
        command.remove_prefix(1);
    while (!command.empty() && (Blank(command.back()) || command.back() == u'"'))
        command.remove_suffix(1);
    const size_t slash = command.find_last_of(u"\\/");
    if (slash != std::u16string_view::npos) command.remove_prefix(slash + 1);
    std::u16string name;
    for (char16_t c : command) name += c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
    return name;
}

bool IsCmd(std::u16string_view command) {
    const std::u16string name = FileName(command);
    return name == u"cmd" || name == u"cmd.exe";
}

// The shell starts a batch file through cmd, which reads its parameters as
// part of the line it runs.
bool IsBatch(std::u16string_view command) {
    const std::u16string name = FileName(command);
    return name.ends_with(u".bat") || name.ends_with(u".cmd");
}

// cmd's switches before /c or /k.
struct CmdSwitches {
    size_t lineStart = 0;    // where the line to run begins
    size_t runSwitch = 0;    // where /c or /k stands
    bool strip = false;      // /s given
    bool delayed = false;    // /v:on given
    bool delaySaid = false;  // /v:on or /v:off given
};

bool SplitCmd(std::u16string_view command2, CmdSwitches& found) {
    for (size_t i = 0;;) {
        while (i < command2.size() && Blank(command2[i])) ++i;
        if (i + 1 >= command2.size() || command2[i] != u'/') return false;
        const char16_t letter = command2[i + 1] | 0x20;
        if (letter == u'c' || letter == u'k') {
            found.runSwitch = i;
            found.lineStart = i + 2;
            while (found.lineStart < command2.size() && Blank(command2[found.lineStart]))
                ++found.lineStart;
            return true;
        }
        size_t end = i;
        while (end < command2.size() && !Blank(command2[end])) ++end;
        const std::u16string_view token = command2.substr(i, end - i);
        if (token.find_first_of(u"\"%") != std::u16string_view::npos) return false;
        if (token.size() == 2 && letter == u's') found.strip = true;
        if (letter == u'v' && token.size() >= 4 && token[2] == u':') {
            found.delaySaid = true;
            found.delayed =
                (token[3] | 0x20) == u'o' && token.size() == 5 && (token[4] | 0x20) == u'n';
        }
        i = end;
    }
}

// Without /s, cmd keeps a line's quotes when it holds exactly two, around a
// program path with a blank in it and no syntax; the template looks so when
// its line is such a path in quotes followed by neither quotes nor %1.
bool KeepsQuotes(std::u16string_view line) {
    const size_t close = line.find(u'"', 1);
    if (close == std::u16string_view::npos) return false;
    const std::u16string_view program = line.substr(1, close - 1);
    const std::u16string_view rest = line.substr(close + 1);
    bool blank = false;
    for (char16_t c : program) {
        if (Blank(c)) blank = true;
        if (std::u16string_view(u"&<>()@^|%").find(c) != std::u16string_view::npos) return false;
    }
    return blank && rest.find(u'"') == std::u16string_view::npos &&
           rest.find(u"%1") == std::u16string_view::npos;
}

std::u16string Expand(std::u16string_view command2, std::u16string_view fname,
                      std::u16string_view fname2, CmdReading cmd) {
    std::u16string out;
    out.reserve(command2.size() + fname.size() + fname2.size() + 4);
    bool inside = false;  // within the template's own double quotes
    auto full = [&] {
        if (inside && HasSyntax(fname)) {
            AppendData(out, fname, cmd);
        } else {
            out += u'"';
            AppendData(out, fname, cmd);
            out += u'"';
        }
    };
    for (size_t i = 0; i < command2.size();) {
        std::u16string_view rest = command2.substr(i);
        if (rest.starts_with(kQuotedFull)) {
            full();
            i += 4;
        } else if (rest.starts_with(u"%1")) {
            full();
            i += 2;
        } else if (rest.starts_with(u"%2")) {
            if (inside || !NeedsQuotes(fname2))
                AppendData(out, fname2, cmd);
            else
                AppendQuoted(out, fname2, cmd);
            i += 2;
        } else if (cmd.on && !inside && command2[i] == u'^' && i + 1 < command2.size()) {
            // cmd takes the character after a caret as it is: ^" opens nothing.
            out.append(command2.substr(i, 2));
            i += 2;
        } else {
            if (command2[i] == u'"') inside = !inside;
            out += command2[i++];
        }
    }
    return out;
}

// The line cmd runs with the paths in it. Where cmd expands !NAME! and the
// line holds a '!', it also takes carets as escapes, so the paths' own are
// kept by carets; a line without one it leaves alone.
std::u16string ExpandForCmd(std::u16string_view line, std::u16string_view fname,
                            std::u16string_view fname2, bool delayed) {
    std::u16string run = Expand(line, fname, fname2, CmdReading{true, false});
    if (delayed && run.find(u'!') != std::u16string::npos)
        run = Expand(line, fname, fname2, CmdReading{true, true});
    return run;
}

size_t Bangs(std::u16string_view text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), u'!'));
}

}  // namespace

std::u16string ExpandParameters(std::u16string_view command2, std::u16string_view fname,
                                std::u16string_view fname2) {
    return Expand(command2, fname, fname2, CmdReading{});
}

std::u16string LaunchParameters(std::u16string_view command, std::u16string_view command2,
                                std::u16string_view fname, std::u16string_view fname2) {
    // Whether the user's cmd expands !NAME! by default cannot be known here.
    if (IsBatch(command)) return ExpandForCmd(command2, fname, fname2, false);
    CmdSwitches cmd;
    if (!IsCmd(command) || !SplitCmd(command2, cmd))
        return ExpandParameters(command2, fname, fname2);
    const std::u16string_view line = command2.substr(cmd.lineStart);

    // The line as cmd is meant to run it, after its own quote stripping.
    std::u16string meant(line);
    const bool quoted = !line.empty() && line.front() == u'"';
    if (quoted && (cmd.strip || !KeepsQuotes(line))) {
        const size_t last = meant.find_last_of(u'"');
        if (last > 0) meant.erase(last, 1);
        meant.erase(0, 1);
    }
    const std::u16string run = ExpandForCmd(meant, fname, fname2, cmd.delayed);
    // A '!' of a path stays a '!' even where the user's cmd would expand
    // !NAME! by default.
    std::u16string head(command2.substr(0, cmd.runSwitch));
    if (!cmd.delaySaid && Bangs(run) > Bangs(meant)) head += u"/v:off ";
    if (!quoted && (run.empty() || run.front() != u'"'))
        return head.append(command2.substr(cmd.runSwitch, cmd.lineStart - cmd.runSwitch))
            .append(run);
    // cmd strips the quotes of a line that begins with one; as long as that
    // exposes no path, the line stays as it always was.
    if (run == Unprotected(meant, fname, fname2) && !HasSyntax(fname) && !HasSyntax(fname2))
        return Unprotected(command2, fname, fname2);
    if (!cmd.strip) head += u"/s ";
    return head.append(command2.substr(cmd.runSwitch, 2)).append(u" \"").append(run).append(u"\"");
}

gui::Launched TMainForm::ExecCommand(std::u16string_view command, std::u16string_view command2,
                                     std::u16string_view fname, std::u16string_view fname2,
                                     bool invisible) {
    return toolkit_.ShellOpen(Handle(), std::u16string(command).c_str(),
                              LaunchParameters(command, command2, fname, fname2).c_str(),
                              invisible);
}

void TMainForm::LaunchOrOwe(std::u16string_view command, std::u16string_view command2,
                            std::u16string fname, std::u16string fname2, bool invisible,
                            bool changed) {
    if (!owed_) {
        const gui::Launched launched = ExecCommand(command, command2, fname, fname2, invisible);
        if (launched.process) toolkit_.ReleaseProcess(launched.process);
        return;
    }
    // A file that grows while its writer holds it is owed once: launched as
    // what it was first found to be, not decided on again.
    for (const Owed& owed : *owed_)
        if (owed.fname2 == fname2) return;
    // Nor is a file whose launch still waits: it will see the change.
    if (Queued(tickJob_, fname2)) return;
    ++decided_;
    Enqueue(Pending{tickJob_, std::move(fname), std::move(fname2), changed});
}

void TMainForm::LaunchOwed(JobWatch& watch) {
    std::erase_if(watch.owed, [&](Owed& owed) {
        if (inbreak) return false;
        switch (platform::WritersOf(owed.fname)) {
            case platform::Writers::busy:
                if (!waitForWriters_) break;  // owed when the last run ended
                return false;
            case platform::Writers::gone:
                return true;
            case platform::Writers::none:
                break;
        }
        ++decided_;
        Enqueue(Pending{tickJob_, std::move(owed.fname), std::move(owed.fname2), owed.changed});
        return true;
    });
}
