#pragma once

#include "Diagnostics.h"

#include <memory>
#include <string>
#include <string_view>

struct TXmlAttr {
    std::string Name;
    TSourcePos NamePos;
    TSourcePos ValuePos; // of the first character inside the quotes
    std::string Raw;     // as written between the quotes
    WideString Value;    // references resolved
};

struct TXmlElement {
    std::string Name;
    TSourcePos Pos; // of its '<'
    std::vector<TXmlAttr> Attributes;
    std::vector<std::unique_ptr<TXmlElement>> Children;
    bool HasText = false; // character data that is not blank
    TSourcePos TextPos;
};

// Reads a UTF-8 document strictly, keeping positions. Reports every place that is not well
// formed or that the installer's lenient reader would read otherwise, recovers and goes on.
// Returns the root element, or none.
std::unique_ptr<TXmlElement> ScanXml(std::string_view Text, TDiagnostics& Diagnostics);

// Where the byte at Offset of Raw is, when Raw starts at Start.
TSourcePos PositionWithin(TSourcePos Start, std::string_view Raw, size_t Offset);

// Offset of the first byte that is no part of a UTF-8 sequence, or npos.
size_t FirstInvalidUtf8(std::string_view Text);
