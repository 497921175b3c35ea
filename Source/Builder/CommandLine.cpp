#include "CommandLine.h"

#include <algorithm>

TCommandLine::TCommandLine(const TArguments& Arguments,
                           const std::vector<std::string>& ValueOptions,
                           const std::vector<std::string>& Flags) {
    auto Known = [](const std::vector<std::string>& List, const std::string& Name) {
        return std::find(List.begin(), List.end(), Name) != List.end();
    };
    bool OnlyPositional = false;
    for (size_t I = 0; I < Arguments.size(); ++I) {
        const std::string& Argument = Arguments[I];
        if (OnlyPositional || Argument.size() < 2 || Argument[0] != '-') {
            FPositional.push_back(Argument);
            continue;
        }
        if (Argument == "--") {
            OnlyPositional = true;
            continue;
        }
        std::string Name = Argument;
        std::optional<std::string> Inline;
        const size_t Equals = Argument.find('=');
        if (Argument.rfind("--", 0) == 0 && Equals != std::string::npos) {
            Name = Argument.substr(0, Equals);
            Inline = Argument.substr(Equals + 1);
        }
        if (Known(ValueOptions, Name)) {
            if (!Inline && I + 1 == Arguments.size()) throw EUsageError{Name + " needs a value"};
            FValues[Name] = Inline ? *Inline : Arguments[++I];
        } else if (Known(Flags, Name) && !Inline) {
            FFlags[Name] = true;
        } else {
            throw EUsageError{"unknown option " + Name};
        }
    }
}

std::optional<std::string> TCommandLine::Value(const std::string& Name) const {
    const auto Found = FValues.find(Name);
    if (Found == FValues.end()) return std::nullopt;
    return Found->second;
}

void TCommandLine::ExpectPositional(size_t Min, size_t Max, const char* What) const {
    if (FPositional.size() < Min) throw EUsageError{std::string("expected ") + What};
    if (FPositional.size() > Max)
        throw EUsageError{"unexpected argument '" + FPositional[Max] + "' (expected " + What + ")"};
}
