#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

using TArguments = std::vector<std::string>;

// A mistake in the command line itself: exit code 2 and a hint to the verb's help.
struct EUsageError {
    std::string Message;
};

// Splits a verb's arguments into positionals, options with a value ("-o DIR", "--arch=x64")
// and flags ("--quiet"). Unknown options and missing values raise EUsageError.
class TCommandLine {
public:
    TCommandLine(const TArguments& Arguments, const std::vector<std::string>& ValueOptions,
                 const std::vector<std::string>& Flags);

    const std::vector<std::string>& Positional() const { return FPositional; }
    std::optional<std::string> Value(const std::string& Name) const;
    bool Flag(const std::string& Name) const { return FFlags.count(Name) > 0; }
    // Exactly Count positionals, or a usage error naming what is expected.
    void ExpectPositional(size_t Min, size_t Max, const char* What) const;

private:
    std::vector<std::string> FPositional;
    std::map<std::string, std::string> FValues;
    std::map<std::string, bool> FFlags;
};
