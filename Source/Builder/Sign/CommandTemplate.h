#pragma once

// A signing command given as one text, split into arguments as a POSIX shell splits a command
// line, and run without a shell: the program's path stays one argument whatever it holds.

#include "LxTypes.h"

#include <functional>
#include <optional>
#include <vector>

// The words of Template: blanks separate them; 'single quotes' keep everything; "double quotes"
// keep everything but $NAME and ${NAME}, and a backslash before $ ` " \ or a line end; outside
// quotes a backslash keeps the next character and $NAME and ${NAME} are replaced too, each by
// the variable's value as one piece of the word (never split further). Variable reads the
// environment. Raises EUsageError for an unclosed quote, a backslash at the end, an unset
// variable, or a command without a word.
std::vector<WideString>
SplitCommandTemplate(WideStringView Template,
                     const std::function<std::optional<WideString>(const WideString&)>& Variable);

// Every "{file}" of Words replaced by File; raises EUsageError when none holds it.
std::vector<WideString> WithFile(std::vector<WideString> Words, WideStringView File);
