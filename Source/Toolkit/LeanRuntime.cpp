// The standard library's error paths, routed to the programs' own exceptions. Linking the
// library's versions would bring its reference-counted strings, its random device and a
// second string implementation: about a fifth of the installer, for errors never expected.

#include "LxExceptions.h"
#include "LxStrUtils.h"

#include <bits/functexcept.h>
#include <cstdlib>
#include <new>
#include <typeinfo>

namespace {

[[noreturn]] void Raise(const char* What) {
    throw Exception(AsciiToWide(What ? std::string_view(What) : std::string_view("Error")));
}

} // namespace

// The default terminate handler would pull the symbol demangler into every program.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx

namespace std {

void __throw_bad_exception() {
    throw bad_exception();
}
void __throw_bad_alloc() {
    throw bad_alloc();
}
void __throw_bad_array_new_length() {
    throw bad_array_new_length();
}
void __throw_bad_cast() {
    throw bad_cast();
}
void __throw_bad_typeid() {
    throw bad_typeid();
}
void __throw_logic_error(const char* What) {
    Raise(What);
}
void __throw_domain_error(const char* What) {
    Raise(What);
}
void __throw_invalid_argument(const char* What) {
    Raise(What);
}
void __throw_length_error(const char* What) {
    Raise(What);
}
void __throw_out_of_range(const char* What) {
    Raise(What);
}
void __throw_out_of_range_fmt(const char* What, ...) {
    Raise(What);
}
void __throw_runtime_error(const char* What) {
    Raise(What);
}
void __throw_range_error(const char* What) {
    Raise(What);
}
void __throw_overflow_error(const char* What) {
    Raise(What);
}
void __throw_underflow_error(const char* What) {
    Raise(What);
}

} // namespace std

// zlib's inflater refers to CRC-32 for gzip streams, which the installer never reads; this
// table-free version keeps zlib's 8 KB of tables out and is still correct should it be used.
extern "C" unsigned long crc32(unsigned long Crc, const unsigned char* Data, unsigned Length) {
    if (!Data) return 0;
    Crc = ~Crc & 0xFFFFFFFFul;
    while (Length--) {
        Crc ^= *Data++;
        for (int Bit = 0; Bit < 8; ++Bit)
            Crc = (Crc >> 1) ^ (0xEDB88320ul & (0ul - (Crc & 1ul)));
    }
    return ~Crc & 0xFFFFFFFFul;
}
