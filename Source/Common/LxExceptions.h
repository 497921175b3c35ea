#pragma once

#include "LxTypes.h"

#include <exception>

// Base of every error the library layers raise. The message is the text shown to the user.
class Exception : public std::exception {
public:
    explicit Exception(WideString Message, uint32_t SystemError = 0);
    const WideString& Message() const noexcept { return FMessage; }
    // The system's error code behind it, for the log; 0 when none.
    uint32_t SystemError() const noexcept { return FSystemError; }
    const char* what() const noexcept override { return FUtf8Message.c_str(); }

private:
    WideString FMessage;
    std::string FUtf8Message;
    uint32_t FSystemError;
};

#define LX_DECLARE_EXCEPTION(Name, Base)                                                           \
    class Name : public Base {                                                                     \
    public:                                                                                        \
        using Base::Base;                                                                          \
    }

LX_DECLARE_EXCEPTION(EAssertionFailed, Exception);
LX_DECLARE_EXCEPTION(EXmlException, Exception);
LX_DECLARE_EXCEPTION(EConvertError, Exception);
LX_DECLARE_EXCEPTION(EListError, Exception);
LX_DECLARE_EXCEPTION(EAbstractError, Exception);
LX_DECLARE_EXCEPTION(EPropertyError, Exception);
LX_DECLARE_EXCEPTION(EResNotFound, Exception);
LX_DECLARE_EXCEPTION(EInOutError, Exception);
LX_DECLARE_EXCEPTION(EStreamError, Exception);
LX_DECLARE_EXCEPTION(EReadError, EStreamError);
LX_DECLARE_EXCEPTION(EWriteError, EStreamError);
LX_DECLARE_EXCEPTION(EFCreateError, EStreamError);
LX_DECLARE_EXCEPTION(EFOpenError, EStreamError);
LX_DECLARE_EXCEPTION(EZLibError, Exception);
LX_DECLARE_EXCEPTION(EZCompressionError, EZLibError);
LX_DECLARE_EXCEPTION(EZDecompressionError, EZLibError);

// Raisers with the fixed texts, kept out of line so call sites stay small.
[[noreturn]] void RaiseAssertion(const char* Message, const char* File, int Line);
[[noreturn]] void RaiseAssertion(WideStringView Message, const char* File, int Line);
[[noreturn]] void RaiseReadError();
[[noreturn]] void RaiseWriteError();
[[noreturn]] void RaiseListIndexError(int64_t Index);
[[noreturn]] void RaiseAbstractError();
[[noreturn]] void RaiseDecompressionError();
[[noreturn]] void RaiseCompressionError();
[[noreturn]] void RaiseResNotFound(WideStringView Name);
[[noreturn]] void RaiseInvalidInteger(WideStringView Text);

// A failed internal consistency check; travels like any other error and names the source line.
#define LX_ASSERT(Condition)                                                                       \
    do {                                                                                           \
        if (!(Condition)) RaiseAssertion("Assertion failure", __FILE__, __LINE__);                 \
    } while (false)

#define LX_ASSERT_MSG(Condition, Message)                                                          \
    do {                                                                                           \
        if (!(Condition)) RaiseAssertion((Message), __FILE__, __LINE__);                           \
    } while (false)
