#include "CommandTemplate.h"

#include "CommandLine.h"
#include "LxStrUtils.h"

namespace {

[[noreturn]] void Refuse(const std::string& Why) {
    throw EUsageError{"--sign-command: " + Why};
}

bool IsNameStart(char16_t C) {
    return (C >= u'A' && C <= u'Z') || (C >= u'a' && C <= u'z') || C == u'_';
}

bool IsNameChar(char16_t C) {
    return IsNameStart(C) || (C >= u'0' && C <= u'9');
}

} // namespace

std::vector<WideString>
SplitCommandTemplate(WideStringView Template,
                     const std::function<std::optional<WideString>(const WideString&)>& Variable) {
    std::vector<WideString> Words;
    WideString Word;
    bool InWord = false;
    // After a '$' at I: appends the variable's value and returns where the reference ends; a '$'
    // that starts no name stays itself.
    auto Expand = [&](size_t I) {
        size_t Start = I + 1, End = Start;
        const bool Braced = Start < Template.size() && Template[Start] == u'{';
        if (Braced) ++Start, ++End;
        if (End >= Template.size() || !IsNameStart(Template[End])) {
            if (Braced) Refuse("'${' starts no variable name");
            Word += u'$';
            return I + 1;
        }
        while (End < Template.size() && IsNameChar(Template[End]))
            ++End;
        const WideString Name(Template.substr(Start, End - Start));
        if (Braced) {
            if (End >= Template.size() || Template[End] != u'}')
                Refuse("'${" + WideToUtf8(Name) + "' is not closed with '}'");
            ++End;
        }
        const std::optional<WideString> Value = Variable(Name);
        if (!Value) Refuse("the variable " + WideToUtf8(Name) + " is not set");
        Word += *Value;
        return End;
    };
    for (size_t I = 0; I < Template.size();) {
        const char16_t C = Template[I];
        if (C == u' ' || C == u'\t' || C == u'\n' || C == u'\r') {
            if (InWord) Words.push_back(std::move(Word));
            Word.clear();
            InWord = false;
            ++I;
            continue;
        }
        InWord = true;
        if (C == u'\'') {
            const size_t Close = Template.find(u'\'', I + 1);
            if (Close == WideStringView::npos) Refuse("a single quote is not closed");
            Word += Template.substr(I + 1, Close - I - 1);
            I = Close + 1;
        } else if (C == u'"') {
            for (++I;;) {
                if (I >= Template.size()) Refuse("a double quote is not closed");
                const char16_t D = Template[I];
                if (D == u'"') {
                    ++I;
                    break;
                }
                if (D == u'\\' && I + 1 < Template.size() &&
                    WideStringView(u"$`\"\\\n").find(Template[I + 1]) != WideStringView::npos) {
                    if (Template[I + 1] != u'\n') Word += Template[I + 1];
                    I += 2;
                } else if (D == u'$') {
                    I = Expand(I);
                } else {
                    Word += D;
                    ++I;
                }
            }
        } else if (C == u'\\') {
            if (I + 1 >= Template.size()) Refuse("the command ends with a backslash");
            if (Template[I + 1] != u'\n') Word += Template[I + 1];
            I += 2;
        } else if (C == u'$') {
            I = Expand(I);
        } else {
            Word += C;
            ++I;
        }
    }
    if (InWord) Words.push_back(std::move(Word));
    if (Words.empty()) Refuse("the command is empty");
    return Words;
}

std::vector<WideString> WithFile(std::vector<WideString> Words, WideStringView File) {
    bool Found = false;
    for (WideString& Word : Words)
        for (size_t At = 0; (At = Word.find(u"{file}", At)) != WideString::npos;) {
            Word.replace(At, 6, File);
            At += File.size();
            Found = true;
        }
    if (!Found) Refuse("the command has no {file} where the program to sign goes");
    return Words;
}
