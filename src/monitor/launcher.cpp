// Starting an entry's command for one new or changed file.
#include "monitor/launcher.h"

#include "ui/main_form.h"

std::u16string ExpandParameters(std::u16string_view command2, std::u16string_view fname,
                                std::u16string_view fname2) {
    std::u16string out;
    out.reserve(command2.size() + fname.size() + fname2.size() + 2);
    auto quoted = [&] {
        out += u'"';
        out += fname;
        out += u'"';
    };
    for (size_t i = 0; i < command2.size();) {
        std::u16string_view rest = command2.substr(i);
        if (rest.starts_with(u"\"%1\"")) {
            quoted();
            i += 4;
        } else if (rest.starts_with(u"%1")) {
            quoted();
            i += 2;
        } else if (rest.starts_with(u"%2")) {
            out += fname2;
            i += 2;
        } else {
            out += command2[i++];
        }
    }
    return out;
}

void TMainForm::ExecCommand(std::u16string_view command, std::u16string_view command2,
                            std::u16string_view fname, std::u16string_view fname2, bool invisible) {
    toolkit_.ShellOpen(Handle(), std::u16string(command).c_str(),
                    ExpandParameters(command2, fname, fname2).c_str(), invisible);
}
