#pragma once

#include <string>

// What child_program writes for "write COUNT lf|nolf": lines of letters, never a CR, ending
// in a line end or not.
inline std::string ChildOutput(size_t Count, bool FinalLineEnd) {
    std::string Text;
    for (size_t I = 0; I < Count; ++I)
        Text += I % 64 == 63 ? '\n' : char('a' + I % 26);
    if (!Text.empty()) Text.back() = FinalLineEnd ? '\n' : '!';
    return Text;
}
