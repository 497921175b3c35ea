// The XML scanner and writer: any bytes scan or raise the library's error within a bounded
// heap; every name and value reads as text or raises; the tree writes in both forms. (Names
// are written as stored, so a scanned name such as "?x" writes as other markup: only the
// persistence layer, which names elements after its classes, round-trips; see ScriptFuzz.)

#include "FuzzSupport.h"
#include "LxXmlUtils.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TXmlDocument Document;
    {
        const THeapMeter Meter;
        if (!OwnErrorsOnly([&] { Document.LoadFromBuffer(Data, Size); })) return 0;
        Meter.Check(Size, 64, 4096);
    }
    if (!Document.Root) return 0;

    std::vector<const TXmlNode*> Pending{Document.Root.get()};
    while (!Pending.empty()) {
        const TXmlNode* Node = Pending.back();
        Pending.pop_back();
        OwnErrorsOnly([&] { Node->GetName(); });
        if (!Node->CData) OwnErrorsOnly([&] { XmlUnescape(Node->Value); });
        for (const auto& Attribute : Node->Attributes)
            OwnErrorsOnly([&] { Attribute->AsString(); });
        for (const auto& Child : Node->Children)
            Pending.push_back(Child.get());
    }

    const RawByteString Formatted = Document.SaveToText();
    Document.Formatted = false;
    const RawByteString Plain = Document.SaveToText();
    FUZZ_CHECK(Plain.size() <= Formatted.size());
    TXmlDocument Again;
    OwnErrorsOnly([&] {
        Again.LoadFromBuffer(reinterpret_cast<const uint8_t*>(Plain.data()), Plain.size());
    });
    return 0;
}
