#pragma once

#include "Diagnostics.h"
#include "SetupProject.h"
#include "XmlScanner.h"

#include <map>

// Where each object of a read script and each of its properties is written.
class TScriptSource {
public:
    explicit TScriptSource(const TXmlElement& Root) : FRoot(Root) {}
    void Record(const TPersistent& Object, const TXmlElement& Element);
    // The object's element; the root for an object the file does not write.
    const TXmlElement& ElementOf(const TPersistent& Object) const;
    // The property's attribute (the first when given twice), or none.
    const TXmlAttr* AttributeOf(const TPersistent& Object, WideStringView Property) const;
    // The property's value, or the object's element when the property is not written.
    TSourcePos PosOf(const TPersistent& Object, WideStringView Property) const;
    // Where Text is written in the property's value; PosOf when it is not written there.
    TSourcePos PosOfText(const TPersistent& Object, WideStringView Property,
                         WideStringView Text) const;

private:
    const TXmlElement& FRoot;
    std::map<const TPersistent*, const TXmlElement*> FElements;
};

// Reads the scanned document into Script as the installer would, through the property tables,
// and reports the names the tables do not know and the values that do not convert.
void ReadScript(const TXmlElement& Root, TSetupScript& Script, TScriptSource& Source,
                TDiagnostics& Diagnostics);
