#pragma once

#include "LxTypes.h"

#include <memory>
#include <vector>

class TStream;

// Stored form: UTF-8 with the eight special characters written as references.
RawByteString XmlEscape(WideStringView Text);
WideString XmlUnescape(std::string_view Stored);
[[noreturn]] void RaiseXmlError(WideStringView Message);
// The one message of malformed markup.
[[noreturn]] void RaiseXmlMismatch();

class TXmlKey {
public:
    bool CData = false;
    RawByteString Name;
    RawByteString Value;

    void SetName(WideStringView Text) { Name = XmlEscape(Text); }
};

class TXmlAttribute : public TXmlKey {
public:
    WideString AsString() const;
    void SetAsString(WideStringView Text);
    void SetAsFloat(double Value);
    void SetAsInteger(int64_t Value);
};

// Owning, ordered, duplicates allowed; names compare without regard to ASCII case.
template <class T>
class TXmlKeyList {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    T* Items(int Index) const { return FItems.at(static_cast<size_t>(Index)).get(); }
    T* Add(std::unique_ptr<T> Item) {
        FItems.push_back(std::move(Item));
        return FItems.back().get();
    }
    void Clear() { FItems.clear(); }
    int IndexOfName(WideStringView Name) const;
    T* FindByName(WideStringView Name) const {
        const int Index = IndexOfName(Name);
        return Index < 0 ? nullptr : Items(Index);
    }

    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    std::vector<std::unique_ptr<T>> FItems;
};

class TXmlAttributeList : public TXmlKeyList<TXmlAttribute> {
public:
    TXmlAttribute* FindOrAdd(WideStringView Name);
    // Reads the attributes of a start tag (the text after the element name).
    void Parse(std::string_view Text);
    // As written in a start tag: name="value" pairs separated by single spaces.
    RawByteString AsText() const;
};

class TXmlNode;

class TXmlNodeList : public TXmlKeyList<TXmlNode> {
public:
    TXmlNode* FindOrAdd(WideStringView Name, TXmlNode* Parent);
};

class TXmlNode : public TXmlKey {
public:
    explicit TXmlNode(TXmlNode* Parent) : Parent(Parent) {}
    TXmlNode(const TXmlNode&) = delete;
    TXmlNode& operator=(const TXmlNode&) = delete;

    TXmlAttributeList Attributes;
    TXmlNodeList Children;
    TXmlNode* Parent;

    WideString GetName() const { return XmlUnescape(Name); }
    TXmlNode* AddChild(WideStringView Name);
    TXmlNode* FindChild(WideStringView Name) const { return Children.FindByName(Name); }
    TXmlNode* ChildByName(WideStringView Name);

    // Reads the name and attributes from the bytes of a start tag, '<' to '>'.
    void ParseTag(std::string_view Tag);
    RawByteString TagText() const;
    void WriteLines(std::vector<RawByteString>& Lines, bool Formatted,
                    const RawByteString& Indent) const;
};

class TXmlDocument {
public:
    TXmlDocument();
    explicit TXmlDocument(WideStringView RootName);

    bool Formatted = true;
    bool WriteDeclaration = true;
    std::unique_ptr<TXmlNode> Root;

    void LoadFromBuffer(const uint8_t* Buffer, size_t Length);
    // Scans from the stream's position to its end; memory streams are scanned in place.
    void LoadFromStream(TStream& Stream);
    RawByteString SaveToText() const;
    void SaveToStream(TStream& Stream) const;
};
